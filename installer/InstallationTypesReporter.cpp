#include "installer/InstallationTypesReporter.h"

#include <tinyxml.h>

#include "installer/ComponentManager.h"

InstallationTypesReporter::InstallationTypesReporter(const ComponentManager* components_)
    : Reporter(0), components(components_)
{
}

std::ostream& InstallationTypesReporter::put(std::ostream& out) const
{
    const InstTypes::products_t& products = components->instTypes.getProducts();
    if (products.empty())
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE)
            << "Installation types may be shown only for not yet installed products.\n";
    if (!xmlOutput) {
        for (const InstTypes::product_t& product : products) {
            out << "Installation types for " << product.name << ":\n";
            for (const InstTypes::type_t& type : product.types)
                out << "    " << type.names.front() << " - " << type.description << "\n";
        }
        return out;
    }
    TiXmlElement list("products");
    for (const InstTypes::product_t& product : products) {
        TiXmlElement* element = new TiXmlElement("product");
        element->SetAttribute("id", product.id);
        element->SetAttribute("name", product.name);
        TiXmlElement* types = new TiXmlElement("installation_types");
        for (const InstTypes::type_t& type : product.types) {
            TiXmlElement* entry = new TiXmlElement("type");
            entry->SetAttribute("name", type.names.front());
            entry->SetAttribute("description", type.description);
            types->LinkEndChild(entry);
        }
        element->LinkEndChild(types);
        list.LinkEndChild(element);
    }
    return putXml(out, &list);
}
