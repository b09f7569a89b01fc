#ifndef KW_INSTALLER_EXTCATALOGFEED_H
#define KW_INSTALLER_EXTCATALOGFEED_H

#include <map>
#include <string>

#include <boost/shared_ptr.hpp>

// The extension catalogue: a web service that lists, for a platform and a product version, the
// extensions that can be installed, as a JSON array of {"code", "name", "download_url"} objects.
namespace ExtCatalog {

// Fetches the text of the feed.
class IFeedDownloader {
public:
    virtual ~IFeedDownloader();
    virtual std::string download(const std::string& platform, const std::string& version,
                                 const std::string& apiVersion) = 0;
};

// One extension of the feed.
struct FeedItem {
    std::string name;          // the display name
    std::string download_url;  // where the extension tool installs it from
};

class Feed {
public:
    // Extension code -> item, in ascending byte order of the code.
    typedef std::map<std::string, FeedItem> items_t;

    // Reads the feed at the base URL over HTTP.
    explicit Feed(const std::string& url);
    // Reads the feed through another downloader, which must not be null.
    explicit Feed(const boost::shared_ptr<IFeedDownloader>& downloader);

    // Downloads and parses the feed. Transfer failures pass unchanged; malformed JSON is an error;
    // an item that lacks one of its three keys is logged and skipped; of two items with one code the
    // first wins.
    virtual items_t getPackages(const std::string& platform, const std::string& version);

private:
    boost::shared_ptr<IFeedDownloader> downloader;
};

}  // namespace ExtCatalog

#endif
