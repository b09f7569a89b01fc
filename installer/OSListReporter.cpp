#include "installer/OSListReporter.h"

#include <iomanip>

#include "common/Messages.h"
#include "common/fileops.h"
#include "installer/BuildManager.h"

OSListReporter::OSListReporter(const BuildManager* catalogue_) : Reporter(0), catalogue(catalogue_) {}

std::ostream& OSListReporter::put(std::ostream& out) const
{
    if (xmlOutput)
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << Messages().get("err_src_xmlblist");
    for (const auto& release : catalogue->getReleases(false)) {
        if (!release->is_selected())
            continue;
        for (const auto& build : release->get_builds())
            out << std::setw(15) << build->getOsVendor() + build->getOsVersion() + ": "
                << fileops::basename(build->getConfig()) << std::endl;
    }
    return out;
}
