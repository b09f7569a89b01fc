#ifndef KW_COMMON_TAGSET_H
#define KW_COMMON_TAGSET_H

#include <string>
#include <unordered_set>

// The release tags of a release: a case-insensitive set of names read from a comma-separated
// text. With the flag given at construction, an empty set stands for the one tag "stable".
class TagSet {
public:
    explicit TagSet(bool empty_means_stable);

    // Replaces the tags by the pieces of the text between commas; an empty piece is a tag too.
    void assign(const std::string& text);
    bool contains(const std::string& name) const;
    // No tag was given, whatever an empty set stands for.
    bool empty() const { return tags.empty(); }
    // The tags joined with ",", in no defined order.
    std::string toString() const;

private:
    std::unordered_set<std::string> tags;
    bool emptyMeansStable;
};

#endif
