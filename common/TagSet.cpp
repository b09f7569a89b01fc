#include "common/TagSet.h"

#include <vector>

#include <boost/algorithm/string.hpp>

namespace {

const char* const STABLE = "stable";

// Trimmed and lower-cased with the character classes of the default locale.
std::string normalise(const std::string& tag)
{
    return boost::algorithm::to_lower_copy(boost::algorithm::trim_copy(tag));
}

}  // namespace

TagSet::TagSet(bool empty_means_stable) : emptyMeansStable(empty_means_stable) {}

void TagSet::assign(const std::string& text)
{
    tags.clear();
    if (text.empty())
        return;
    std::vector<std::string> pieces;
    boost::algorithm::split(pieces, text, boost::algorithm::is_any_of(","));
    for (const std::string& piece : pieces)
        tags.insert(normalise(piece));
}

bool TagSet::contains(const std::string& name) const
{
    const std::string tag = normalise(name);
    if (tags.empty() && emptyMeansStable)
        return tag == STABLE;
    return tags.count(tag) != 0;
}

std::string TagSet::toString() const
{
    if (tags.empty() && emptyMeansStable)
        return STABLE;
    return boost::algorithm::join(tags, ",");
}
