#ifndef KW_TESTS_SUPPORT_GENERATEDMIRROR_H
#define KW_TESTS_SUPPORT_GENERATEDMIRROR_H

#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

#include "tests/support/TempDir.h"

// A catalogue written by tests/support/mirror/make_mirror.py into a fresh directory, with the
// manifest (mirror.json) it wrote: tests read ids, versions and paths from there.
class GeneratedMirror {
public:
    // The generator's options after OUT (e.g. {"--model", file}); throws when it fails.
    explicit GeneratedMirror(const std::vector<std::string>& options = {});

    const std::string& path() const { return dir.path(); }
    const boost::property_tree::ptree& manifest() const { return manifest_; }
    // The values of one field of every element of a manifest array, e.g. ("products", "id").
    std::vector<std::string> list(const std::string& array, const std::string& field = "") const;

    static std::string script();

private:
    TempDir dir;
    boost::property_tree::ptree manifest_;
};

#endif
