#ifndef KW_COMMON_OPSYS_H
#define KW_COMMON_OPSYS_H

#include <ostream>
#include <string>

#include <boost/shared_ptr.hpp>

// An operating system described by five texts. The default constructor gives the running system,
// detected once per process; the other builds a description such as a catalogue build declares.
// Copies share the description.
class Opsys {
public:
    class opsys_rep {
    public:
        opsys_rep() = default;
        opsys_rep(const std::string& name, const std::string& vendor, const std::string& version,
                  const std::string& arch, const std::string& environment);

        // "'vendor' 'name' 'version' 'arch'", and " under " the environment when there is one.
        void print(std::ostream& out) const;

        std::string name;         // the kernel's name, "Linux"
        std::string vendor;       // the distribution, "Debian", "Ubuntu", "CentOS", ...
        std::string version;      // the distribution's version ("el"/"es" for some Red Hat releases)
        std::string arch;         // the machine
        std::string environment;  // "qz" inside a Cubbyvale container, else empty
    };

    // The running system: release files, container markers and uname, with the overrides laid over.
    class opsys_detect : public opsys_rep {
    public:
        opsys_detect();
    };

    Opsys();
    Opsys(const std::string& name, const std::string& vendor, const std::string& version, const std::string& arch,
          const std::string& environment);

    const opsys_rep* operator->() const { return rep.get(); }
    const opsys_rep& operator*() const { return *rep; }

    bool isDebianBased() const;
    // "Oracle" is neither Debian based nor Red Hat based.
    bool isRedHatBased() const;

    // Whether this description, as a requirement, admits the system that `other` describes. With
    // lenient, an empty field on either side passes.
    bool matches(const Opsys& other, bool lenient) const;
    bool versionMatches(const std::string& other_version, bool lenient) const;
    bool archMatches(const std::string& other_arch, bool lenient) const;

    // Fields forced by the user; each non-empty one replaces the detected field. They are read once,
    // when the running system is detected.
    static std::string overrideName;
    static std::string overrideVendor;
    static std::string overrideVersion;
    static std::string overrideArch;
    static std::string overrideEnvironment;

private:
    boost::shared_ptr<opsys_rep> rep;
};

#endif
