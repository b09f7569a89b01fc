#include "installer/ToInstallComponentsReporter.h"

#include "common/textutils.h"
#include "installer/ComponentManager.h"

namespace {

// What the request does to a component in its install mode.
std::string actionOf(request_mode_t request, const std::string& mode)
{
    if (request == REQ_REMOVE)
        return mode == "install" ? "noop" : "remove";
    if (request == REQ_INSTALL)
        return mode;
    return mode == "install" || mode == "upgrade" ? "noop" : mode;
}

class ComponentLines : public ComponentManager::Visitor {
public:
    explicit ComponentLines(std::ostream& out_) : out(out_) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        const request_mode_t request = component->getRequest();
        const char letter = request == REQ_INSTALL ? 'I' : request == REQ_REMOVE ? 'R' : 'L';
        // The character reads the install mode too; a component never checked shows '?'.
        char status = '?';
        try {
            status = component->getStatusChar();
        } catch (const error&) {
        }
        std::string rest;
        try {
            // One call after the other: the first that fails names the reason.
            const std::string action = actionOf(request, component->getInstallModeName());
            const std::string installed = component->getInstalledVersion();
            rest = action + " '" + installed + " => " + component->getAvailableVersion() + "'";
        } catch (const error& e) {
            rest = "< " + trim_right(e.getText()) + " >";
        }
        out << letter << " [" << status << "] " << component->name << " " << rest << "\n";
    }

private:
    std::ostream& out;
};

}  // namespace

ToInstallComponentsReporter::ToInstallComponentsReporter(const ComponentManager* components_)
    : Reporter(0), components(components_)
{
}

std::ostream& ToInstallComponentsReporter::put(std::ostream& out) const
{
    ComponentLines lines(out);
    components->walk(lines);
    return out;
}
