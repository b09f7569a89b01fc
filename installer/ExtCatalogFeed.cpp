#include "installer/ExtCatalogFeed.h"

#include <exception>
#include <sstream>

#include <boost/make_shared.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/ExtCatalogCurlFeedDownloader.h"

namespace ExtCatalog {

namespace {
const Messages messages;
}

IFeedDownloader::~IFeedDownloader() = default;

Feed::Feed(const std::string& url) : downloader(boost::make_shared<CurlFeedDownloader>(url)) {}

Feed::Feed(const boost::shared_ptr<IFeedDownloader>& downloader_) : downloader(downloader_)
{
    if (!downloader)
        throw internal_error(__FILE__, 21);
}

Feed::items_t Feed::getPackages(const std::string& platform, const std::string& version)
{
    Log::stream(Log::LEVEL_ERROR, true) << messages.get("download_ext_catalog_feed");
    const std::string text = downloader->download(platform, version, "v4");

    boost::property_tree::ptree root;
    try {
        std::istringstream in(text);
        boost::property_tree::read_json(in, root);
    } catch (const std::exception& e) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_ext_catalog_feed_parse"), e.what());
    }

    items_t items;
    // The members' own names do not matter: a root object of item objects reads like an array.
    for (const auto& member : root) {
        try {
            FeedItem item;
            item.download_url = member.second.get<std::string>("download_url");
            item.name = member.second.get<std::string>("name");
            const std::string code = member.second.get<std::string>("code");
            if (!items.emplace(code, item).second)
                Log::stream(Log::LEVEL_VERBOSE, true) << format_message(
                    messages.get("err_ext_catalog_feed_parse_item"), "duplicate of 'code' attribute has been detected");
        } catch (const std::exception& e) {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << format_message(messages.get("err_ext_catalog_feed_parse_item"), e.what());
        }
    }
    return items;
}

}  // namespace ExtCatalog
