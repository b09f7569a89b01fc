#include "installer/ToInstallReleasesReporter.h"

#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "installer/Product.h"

namespace {

// A line for the selected and the installed release of each product.
class BuildReporter : public BuildManager::Visitor {
public:
    explicit BuildReporter(std::ostream& out_) : out(out_) {}

    void visitRelease(boost::shared_ptr<Release> release) override
    {
        const char* state = nullptr;
        if (release->is_selected()) {
            state = "selected ";
        } else {
            try {
                if (release->is_current())
                    state = "installed";
            } catch (const error&) {
                // Never checked against the system: neither chosen nor known to be installed.
            }
        }
        if (!state)
            return;
        std::string mode;
        std::string note;
        try {
            mode = release->get_update_mode_name();
            note = release->is_actual() ? "" : "(not installable)";
        } catch (const error& e) {
            mode = "unknown";
            note = "< " + trim_right(e.getText()) + " >";
        }
        out << state << " " << release->prod()->id() << " " << release->get_id() << " " << mode << " " << note << "\n";
    }
    void visitAddon(const Addon*) override {}
    void visitBuild(const Build*) override {}

private:
    std::ostream& out;
};

}  // namespace

ToInstallReleasesReporter::ToInstallReleasesReporter(const BuildManager* catalogue_)
    : Reporter(0), catalogue(catalogue_)
{
}

std::ostream& ToInstallReleasesReporter::put(std::ostream& out) const
{
    BuildReporter lines(out);
    catalogue->visit(lines);
    return out;
}
