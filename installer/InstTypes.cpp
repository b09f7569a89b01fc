#include "installer/InstTypes.h"

#include <algorithm>
#include <cctype>

#include "common/error.h"
#include "installer/Build.h"
#include "installer/Product.h"
#include "installer/Release.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_TYPE_WITHOUT_NAMES = 83;
const int LINE_TYPE_WITHOUT_COMPONENTS = 84;

bool same_but_case(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

InstTypes::products_t::const_iterator InstTypes::findProduct(const std::string& id) const
{
    return std::find_if(products.begin(), products.end(), [&id](const product_t& product) { return product.id == id; });
}

const InstTypes::product_t& InstTypes::getProduct(const std::string& id) const
{
    const products_t::const_iterator found = findProduct(id);
    if (found == products.end()) {
        error e(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED);
        e << "InstTypes data: can't get product by id='" << id << "'";
        throw e;
    }
    return *found;
}

const InstTypes::type_t& InstTypes::getType(const product_t& product, const std::string& name)
{
    if (name.empty()) {
        error e(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED);
        e << "InstTypes data: tname is empty in request";
        throw e;
    }
    for (const type_t& type : product.types)
        for (const std::string& type_name : type.names)
            if (same_but_case(type_name, name))
                return type;
    error e(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED);
    e << "InstTypes data: can't get install type from product: " << product.id << "/" << name;
    throw e;
}

void InstTypes::addType(const Build& build, const type_t& type)
{
    if (type.names.empty())
        throw internal_error(__FILE__, LINE_TYPE_WITHOUT_NAMES);
    if (type.mode == DECLARED && type.components.empty())
        throw internal_error(__FILE__, LINE_TYPE_WITHOUT_COMPONENTS);
    // Types come from the build files of releases; an addon build is attached to one first.
    if (!build.getParent() || !build.getParent()->prod())
        throw KW_INTERNAL_ERROR();
    const Product& product = *build.getParent()->prod();
    const products_t::const_iterator known = findProduct(product.id());
    product_t* record;
    if (known == products.end()) {
        products.push_back(product_t{product.id(), product.name(), {}});
        record = &products.back();
    } else {
        record = &products[known - products.begin()];
    }
    record->types.push_back(type);
}
