#ifndef KW_COMMON_VERSION_H
#define KW_COMMON_VERSION_H

#include <cstdint>
#include <ostream>
#include <string>

// A package version [epoch:]version[-release], ordered by the rules of the RPM package family.
// The operators dispatch on the left operand, so a comparison follows the left operand's class.
// Neither order is a strict weak order: never hand these comparisons to std::sort and the like.
class Version {
public:
    // No epoch, empty version and release texts.
    Version();
    // Throws on an empty text; every other text parses.
    explicit Version(const std::string& text);
    Version(const Version& other);
    Version& operator=(const Version&) = delete;
    virtual ~Version();

    virtual int compareEpoch(const Version& other) const;
    virtual int compareVersion(const Version& other) const;
    virtual int compareRelease(const Version& other) const;
    // Only the sign of the result carries meaning.
    virtual int compare(const Version& other) const;
    virtual int compareSegments(const char* a, const char* b) const;

    bool operator==(const Version& other) const { return compare(other) == 0; }
    bool operator<(const Version& other) const { return compare(other) < 0; }
    bool operator>(const Version& other) const { return compare(other) > 0; }

    // [epoch:]version, with "no_versioning_data" for an empty version text.
    std::string getVersionString() const;
    // getVersionString() and -release when the release is not empty.
    std::string toString() const;
    std::ostream& print(std::ostream& out) const;

    int64_t getEpoch() const { return epoch; }
    bool hasEpoch() const { return has_epoch; }
    const std::string& getVersion() const { return version; }
    const std::string& getRelease() const { return release; }

private:
    int64_t epoch;  // compared as unsigned
    bool has_epoch;
    std::string version;
    std::string release;
};

// A version ordered the way dpkg orders Debian versions. Only compare() exists for it; the
// RPM-style part comparisons throw.
class DebVersion : public Version {
public:
    explicit DebVersion(const std::string& text);
    DebVersion(const DebVersion& other) = default;

    int compareEpoch(const Version& other) const override;
    int compareVersion(const Version& other) const override;
    int compareRelease(const Version& other) const override;
    // -255 (read as "lower" by every caller) when either side is not a valid Debian version.
    int compare(const Version& other) const override;
    int compareSegments(const char* a, const char* b) const override;

private:
    // The printed text split the way dpkg splits it. The text is fixed once the version is made, so
    // comparisons read this form instead of printing and parsing both sides every time.
    struct Form {
        explicit Form(const std::string& printed);

        const char* upstream() const { return parts.c_str(); }
        const char* revision() const { return parts.c_str() + revision_at; }
        bool informative() const { return epoch != 0 || !parts.empty(); }

        const char* bad = nullptr;  // why the text is no valid Debian version, or null
        unsigned long epoch = 0;
        std::string parts;         // upstream, then a zero byte and the revision where there is one
        uint32_t revision_at = 0;  // where the revision starts; at the end without one
    };

    Form form;
};

#endif
