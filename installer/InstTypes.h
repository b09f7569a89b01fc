#ifndef KW_INSTALLER_INSTTYPES_H
#define KW_INSTALLER_INSTTYPES_H

#include <cstdint>
#include <string>
#include <vector>

class Build;

// The installation types offered per product for a first installation: the types the build files
// declare, then the generated "Full" and "Custom". Products and types keep their registration order.
class InstTypes {
public:
    static constexpr int32_t DECLARED = 0;  // by a build file; selects its components
    static constexpr int32_t FULL = 1;      // selects every component
    static constexpr int32_t CUSTOM = 2;    // the user chooses

    struct type_t {
        std::vector<std::string> names;  // never empty
        std::string description;
        int32_t mode;
        std::vector<std::string> components;  // only a declared type has them, and always
    };

    struct product_t {
        std::string id;
        std::string name;  // the product's display name
        std::vector<type_t> types;
    };

    typedef std::vector<product_t> products_t;

    products_t::const_iterator findProduct(const std::string& id) const;
    const product_t& getProduct(const std::string& id) const;
    // The first type with a name equal to `name` but for case.
    static const type_t& getType(const product_t& product, const std::string& name);
    // Registers the type for the product of the build's release.
    void addType(const Build& build, const type_t& type);

    const products_t& getProducts() const { return products; }

private:
    products_t products;
};

#endif
