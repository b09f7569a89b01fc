#ifndef KW_INSTALLER_PRODUCT_H
#define KW_INSTALLER_PRODUCT_H

#include <string>
#include <vector>

class Repository;

// One product of the catalogue, shared by its releases. Its key packages tell which version of the
// product the server runs: the first of them that is installed, searched group by group.
class Product {
public:
    typedef std::vector<std::vector<std::string>> keypackages_t;

    // Where installed versions come from: the installed version of a package, "" when it is not installed.
    class GetSystemPackage {
    public:
        virtual std::string operator()(const std::string& name) const = 0;
        virtual ~GetSystemPackage() = default;
    };

    // Asks the package database of the system itself, past the repository's index.
    class GetPkgVerDirectlyFromSystem : public GetSystemPackage {
    public:
        explicit GetPkgVerDirectlyFromSystem(Repository* repository);
        std::string operator()(const std::string& name) const override;

    private:
        Repository* repository;
    };

    Product(const std::string& id, const std::string& name, bool hidden_to_install, const keypackages_t& keypackages,
            const std::vector<std::string>& upgrade_codes, const std::vector<std::string>& product_codes,
            const std::string& active_icon, const std::string& disabled_icon, const std::string& product_site,
            const std::string& kb_article, const std::vector<std::string>& incompatible_with);

    // The version of the first key package that `installed` knows, "" when none is installed.
    std::string detectInstalledVersion(const GetSystemPackage& installed) const;

    const std::string& id() const { return _id; }
    const std::string& name() const { return _name; }
    bool hidden_to_install() const { return _hidden_to_install; }
    const keypackages_t& keypackages() const { return _keypackages; }
    const std::vector<std::string>& upgrade_codes() const { return _upgrade_codes; }
    const std::vector<std::string>& product_codes() const { return _product_codes; }
    const std::string& active_icon() const { return _active_icon; }
    const std::string& disabled_icon() const { return _disabled_icon; }
    const std::string& product_site() const { return _product_site; }
    const std::string& kb_article() const { return _kb_article; }
    const std::vector<std::string>& incompatible_with() const { return _incompatible_with; }

private:
    std::string _id;
    std::string _name;
    bool _hidden_to_install;
    keypackages_t _keypackages;  // groups in catalogue order; the first is never empty
    std::vector<std::string> _upgrade_codes;
    std::vector<std::string> _product_codes;
    std::string _active_icon;
    std::string _disabled_icon;
    std::string _product_site;
    std::string _kb_article;                      // the article on upgrades from unsupported versions
    std::vector<std::string> _incompatible_with;  // ids of products that cannot be installed beside it
};

#endif
