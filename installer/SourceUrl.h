#ifndef KW_INSTALLER_SOURCEURL_H
#define KW_INSTALLER_SOURCEURL_H

#include <string>

// The run's installation source: a mirror URL (http, https, ftp) or a local directory or file,
// normalised when assigned. Empty means that no source is set.
class SourceUrl {
public:
    SourceUrl() = default;
    explicit SourceUrl(const std::string& text);

    void assign(const std::string& text);

    bool isLocal() const;
    // The text up to its last "/", with the "/".
    std::string getBaseUrl() const;
    // The text after its last "/"; the whole text when it has none.
    std::string getFileName() const;

    std::string url;

private:
    void normaliseLocal();
    void normaliseNetwork();
};

#endif
