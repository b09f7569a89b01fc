#include "installer/Product.h"

#include "common/Repository.h"
#include "common/error.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_NO_KEY_PACKAGES = 12;

}  // namespace

Product::GetPkgVerDirectlyFromSystem::GetPkgVerDirectlyFromSystem(Repository* repository_) : repository(repository_) {}

std::string Product::GetPkgVerDirectlyFromSystem::operator()(const std::string& name) const
{
    return repository->getPkgVersionFromSystemDirectly(name);
}

Product::Product(const std::string& id, const std::string& name, bool hidden_to_install,
                 const keypackages_t& keypackages, const std::vector<std::string>& upgrade_codes,
                 const std::vector<std::string>& product_codes, const std::string& active_icon,
                 const std::string& disabled_icon, const std::string& product_site, const std::string& kb_article,
                 const std::vector<std::string>& incompatible_with)
    : _id(id), _name(name), _hidden_to_install(hidden_to_install), _keypackages(keypackages),
      _upgrade_codes(upgrade_codes), _product_codes(product_codes), _active_icon(active_icon),
      _disabled_icon(disabled_icon), _product_site(product_site), _kb_article(kb_article),
      _incompatible_with(incompatible_with)
{
}

std::string Product::detectInstalledVersion(const GetSystemPackage& installed) const
{
    // The catalogue reader refuses a product without key packages.
    if (_keypackages.empty() || _keypackages.front().empty())
        throw internal_error(__FILE__, LINE_NO_KEY_PACKAGES);
    // The groups only order the search: the first installed key package decides.
    for (const std::vector<std::string>& group : _keypackages)
        for (const std::string& name : group) {
            const std::string version = installed(name);
            if (!version.empty())
                return version;
        }
    return "";
}
