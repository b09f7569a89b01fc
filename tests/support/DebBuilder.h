#ifndef KW_TESTS_SUPPORT_DEBBUILDER_H
#define KW_TESTS_SUPPORT_DEBBUILDER_H

#include <string>

// Makes Debian package files in a directory that the caller owns (a TempDir, usually); the files stay
// there after the builder goes. Each call replaces a package file of the same name.
class DebBuilder {
public:
    explicit DebBuilder(const std::string& dir) : dir(dir) {}

    // A package built by dpkg-deb from the control fields and one data file, /usr/share/kw/<file name>;
    // its path. A control text that dpkg-deb refuses fails the test.
    std::string build(const std::string& control, const std::string& file_name = "built.deb") const;
    // A package archive put together with tar and ar, for control data that dpkg-deb would refuse to
    // build; no data files. Its path.
    std::string assemble(const std::string& control, const std::string& file_name = "assembled.deb") const;

    // The control fields of a small valid package.
    static std::string control(const std::string& name, const std::string& version, const std::string& arch = "all",
                               const std::string& more = "");

private:
    std::string dir;
};

#endif
