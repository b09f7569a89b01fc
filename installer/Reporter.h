#ifndef KW_INSTALLER_REPORTER_H
#define KW_INSTALLER_REPORTER_H

#include <ostream>
#include <string>

#include "common/error.h"

class TiXmlNode;

// The one status reply that ends every run, and the base of every query answer: as text for people,
// or as an XML document for programs that drive the installer.
class Reporter {
public:
    Reporter(int status, const std::string& message, const char* errorClass);
    explicit Reporter(int status);
    Reporter(int status, const char* message);
    virtual ~Reporter();

    // Query answers replace this with their own listing.
    virtual std::ostream& put(std::ostream& out) const;
    // The XML envelope of every reply; a copy of `child`, when given, goes under the root.
    std::ostream& putXml(std::ostream& out, const TiXmlNode* child) const;

    // Replies and errors are XML documents.
    static bool xmlOutput;
    // Put before the status word of an XML reply: "query_" or "install_".
    static std::string statusPrefix;

    int status;  // 0 ok, 1 error, 2 busy
    std::string message;
    std::string errorClass;

protected:
    // The refusal of an "upgrade" command that did not name what to upgrade: the listing printed
    // before it shows the choices, and the text of `key` says which one to name.
    static error upgradeTargetMissing(const char* key);
};

std::ostream& operator<<(std::ostream& out, const Reporter& reporter);

#endif
