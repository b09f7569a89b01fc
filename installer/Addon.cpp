#include "installer/Addon.h"

#include "common/Log.h"
#include "common/error.h"
#include "installer/Product.h"
#include "installer/Release.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_NO_COMPATIBILITY = 56;

}  // namespace

Addon::Addon(const std::string& id_, const std::string& name_, const std::string& version_, bool lazy_)
    : id(id_), name(name_), version(version_), lazy(lazy_)
{
}

void Addon::addCompatible(const std::string& prod_id, const std::string& from, const std::string& to)
{
    // One text: the log would mark an empty piece written on its own.
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Addon::addCompatible: prod_id=" + prod_id + ", from=" + from +
                                               ", to=" + to;
    try {
        compatibility.push_back(compat_t{prod_id, Version(from), Version(to)});
    } catch (error& e) {
        e.addMessage(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET)
            << "Wrong addon's compat info: " << prod_id << "  from " << from << " to " << to;
        throw;
    }
}

bool Addon::applicableTo(const Release& release) const
{
    // The catalogue reader refuses addons without records.
    if (compatibility.empty())
        throw internal_error(__FILE__, LINE_NO_COMPATIBILITY);
    if (!release.prod())
        throw KW_INTERNAL_ERROR();
    const Version& version = release.get_version();
    for (const compat_t& record : compatibility) {
        if (record.prod_id != release.prod()->id())
            continue;
        Log::stream(Log::LEVEL_DEBUG, true) << "Addon::applicableTo: release " + version.toString() +
                                                   ", addon applicable from " + record.from.toString() + " to " +
                                                   record.to.toString();
        if (version < record.from) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Addon::applicableTo: version too low for " + id;
        } else if (version > record.to) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Addon::applicableTo: version too high for " + id;
        } else {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Addon::applicableTo: merge addon " + id +
                                                       " because it fit for release " + release.get_label();
            return true;
        }
    }
    return false;
}
