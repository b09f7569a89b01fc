#include "common/Version.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <typeinfo>

#include "common/Messages.h"
#include "common/error.h"

namespace {

const Messages messages;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// ---- Debian order ----

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The weight of a character: '~' before the end and digits, letters before everything else.
// Bytes count as signed 8-bit values, so 0x80 and up weigh 128 to 255.
int weight(char c)
{
    if (isDigit(c) || c == '\0')
        return 0;
    if (isAlpha(c))
        return c;
    if (c == '~')
        return -1;
    return static_cast<signed char>(c) + 256;
}

int comparePart(const char* a, const char* b)
{
    while (*a || *b) {
        int first_diff = 0;
        while ((*a && !isDigit(*a)) || (*b && !isDigit(*b))) {
            int wa = weight(*a);
            int wb = weight(*b);
            if (wa != wb)
                return wa - wb;
            // Equal weights at an ended text are impossible here: only digits weigh like the end.
            ++a;
            ++b;
        }
        while (*a == '0')
            ++a;
        while (*b == '0')
            ++b;
        while (isDigit(*a) && isDigit(*b)) {
            if (!first_diff)
                first_diff = *a - *b;
            ++a;
            ++b;
        }
        if (isDigit(*a))
            return 1;
        if (isDigit(*b))
            return -1;
        if (first_diff)
            return first_diff;
    }
    return 0;
}

error noDebianPart()
{
    return error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_no_debpartver");
}

}  // namespace

// ---- Version ----

Version::Version() : epoch(0), has_epoch(false) {}

Version::Version(const std::string& text) : epoch(0), has_epoch(false)
{
    if (text.empty()) {
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_empty_version");
    }
    // A '-' in the first place belongs to the version.
    std::string::size_type hyphen = text.find('-', 1);
    std::string head = text.substr(0, hyphen);
    if (hyphen != std::string::npos)
        release = text.substr(hyphen + 1);
    std::string::size_type colon = head.find(':');
    if (colon == std::string::npos) {
        version = head;
    } else {
        epoch = atol(head.substr(0, colon).c_str());
        has_epoch = true;
        version = head.substr(colon + 1);
    }
}

Version::Version(const Version& other)
    : epoch(other.epoch), has_epoch(other.has_epoch), version(other.version), release(other.release)
{
}

Version::~Version() = default;

int Version::compareEpoch(const Version& other) const
{
    if (!has_epoch)
        return other.has_epoch ? -1 : 0;
    if (!other.has_epoch)
        return 1;
    uint64_t mine = static_cast<uint64_t>(epoch);
    uint64_t theirs = static_cast<uint64_t>(other.epoch);
    return mine < theirs ? -1 : (mine > theirs ? 1 : 0);
}

int Version::compareVersion(const Version& other) const
{
    return compareSegments(version.c_str(), other.version.c_str());
}

int Version::compareRelease(const Version& other) const
{
    return compareSegments(release.c_str(), other.release.c_str());
}

int Version::compare(const Version& other) const
{
    int result = compareEpoch(other);
    if (result == 0)
        result = compareVersion(other);
    if (result == 0)
        result = compareRelease(other);
    return result;
}

int Version::compareSegments(const char* a, const char* b) const
{
    if (strcmp(a, b) == 0)
        return 0;
    for (;;) {
        // Tested before separators are skipped: a text with only separators left orders above
        // an ended one.
        if (!*a)
            return *b ? -1 : 0;
        if (!*b)
            return 1;
        while (*a && !isDigit(*a) && !isAlpha(*a))
            ++a;
        while (*b && !isDigit(*b) && !isAlpha(*b))
            ++b;

        // A loop per kind rather than a pointer to the test: the tests are inlined into the scan.
        bool numeric = isDigit(*a);
        const char* a_end = a;
        const char* b_end = b;
        if (numeric) {
            while (isDigit(*a_end))
                ++a_end;
            while (isDigit(*b_end))
                ++b_end;
        } else {
            while (isAlpha(*a_end))
                ++a_end;
            while (isAlpha(*b_end))
                ++b_end;
        }

        if (a_end == a)
            return -1;
        if (b_end == b)
            return numeric ? 1 : -1;

        const char* a_run = a;
        const char* b_run = b;
        if (numeric) {
            while (a_run < a_end && *a_run == '0')
                ++a_run;
            while (b_run < b_end && *b_run == '0')
                ++b_run;
            if (a_end - a_run != b_end - b_run)
                return a_end - a_run > b_end - b_run ? 1 : -1;
        }
        // Bytewise, as strcmp orders the two runs.
        size_t a_len = a_end - a_run;
        size_t b_len = b_end - b_run;
        int diff = memcmp(a_run, b_run, a_len < b_len ? a_len : b_len);
        if (diff != 0)
            return diff;
        if (a_len != b_len)
            return a_len < b_len ? -1 : 1;
        a = a_end;
        b = b_end;
    }
}

std::string Version::getVersionString() const
{
    std::string text;
    if (has_epoch)
        text = std::to_string(static_cast<uint64_t>(epoch)) + ":";
    text += version.empty() ? std::string("no_versioning_data") : version;
    return text;
}

std::string Version::toString() const
{
    std::string text = getVersionString();
    if (!release.empty())
        text += "-" + release;
    return text;
}

std::ostream& Version::print(std::ostream& out) const
{
    return out << toString();
}

// ---- DebVersion ----

int DebVersion::compareEpoch(const Version&) const
{
    throw noDebianPart();
}

int DebVersion::compareVersion(const Version&) const
{
    throw noDebianPart();
}

int DebVersion::compareRelease(const Version&) const
{
    throw noDebianPart();
}

int DebVersion::compareSegments(const char*, const char*) const
{
    throw noDebianPart();
}

// The same steps as dpkg: blanks around the text, an optional numeric epoch before the first ':',
// the revision after the last '-'. The text counts up to its first zero byte.
DebVersion::Form::Form(const std::string& printed)
{
    if (printed == "<unknown>")
        return;  // the blank form
    if (printed.empty()) {
        bad = "version string is empty";
        return;
    }
    const char* start = printed.c_str();
    while (isBlank(*start))
        ++start;
    const char* end = start;
    while (*end && !isBlank(*end))
        ++end;
    while (isBlank(*end))
        ++end;
    if (*end) {
        bad = "version string has embedded spaces";
        return;
    }
    const char* rest = start;
    if (const char* colon = strchr(start, ':')) {
        char* epoch_end = nullptr;
        unsigned long number = strtoul(start, &epoch_end, 10);
        if (epoch_end != colon) {
            bad = "epoch in version is not number";
            return;
        }
        if (!colon[1]) {
            bad = "nothing after colon in version number";
            return;
        }
        epoch = number;
        rest = colon + 1;
    }
    // The rest keeps its trailing blanks; the revision follows its last '-'.
    parts.assign(rest, end);
    revision_at = parts.size();
    std::string::size_type hyphen = parts.rfind('-');
    if (hyphen != std::string::npos) {
        parts[hyphen] = '\0';
        revision_at = hyphen + 1;
        if (revision_at == parts.size() && hyphen == 0) {
            parts.clear();  // "-" alone: no upstream and no revision
            revision_at = 0;
        }
    }
}

DebVersion::DebVersion(const std::string& text) : Version(text), form(toString()) {}

int DebVersion::compare(const Version& other) const
{
    if (form.bad) {
        std::cerr << "version a has bad syntax: " << form.bad << std::endl;
        return -255;
    }
    // Only a version of another class on the right is printed and split here.
    std::unique_ptr<Form> printed;
    if (typeid(other) != typeid(DebVersion))
        printed.reset(new Form(other.toString()));
    const Form& b = printed ? *printed : static_cast<const DebVersion&>(other).form;
    if (b.bad) {
        std::cerr << "version b has bad syntax: " << b.bad << std::endl;
        return -255;
    }
    if (!form.informative()) {
        std::cerr << "version a is noninformative" << std::endl;
        return -255;
    }
    if (!b.informative()) {
        std::cerr << "version b is noninformative" << std::endl;
        return -255;
    }
    if (form.epoch != b.epoch)
        return form.epoch > b.epoch ? 1 : -1;
    int result = comparePart(form.upstream(), b.upstream());
    if (result == 0)
        result = comparePart(form.revision(), b.revision());
    return result;
}
