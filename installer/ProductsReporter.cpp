#include "installer/ProductsReporter.h"

#include <tinyxml.h>

#include <vector>

#include "common/Messages.h"
#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "installer/Options.h"
#include "installer/Product.h"

ProductsReporter::ProductsReporter(const BuildManager* catalogue_) : Reporter(0), catalogue(catalogue_) {}

std::ostream& ProductsReporter::put(std::ostream& out) const
{
    const BuildManager::releases_t releases = catalogue->getReleases(false);
    if (releases.empty())
        return Reporter(1, Messages().get("releases_reporter_list_empty").c_str()).put(out);

    std::vector<const Product*> products;
    for (const auto& release : releases) {
        const Product* product = release->prod().get();
        bool seen = false;
        for (const Product* listed : products)
            seen = seen || listed->id() == product->id();
        if (!seen)
            products.push_back(product);
    }

    const bool upgrade = Options::instance().commandOperation == Options::UPGRADE_COMMAND;
    if (!xmlOutput) {
        out << pad_right("--- prod_id", 12) << " " << pad_right("(description) ---", 40) << "\n";
        for (const Product* product : products)
            out << pad_right(product->id(), 12) << " " << pad_right("(" + product->name() + ")", 40) << "\n";
    } else if (!upgrade) {
        TiXmlElement list("products");
        for (const Product* product : products) {
            TiXmlElement* element = new TiXmlElement("product");
            element->SetAttribute("id", product->id());
            element->SetAttribute("description", product->name());
            list.LinkEndChild(element);
        }
        putXml(out, &list);
    }
    if (upgrade)
        throw upgradeTargetMissing("err_cmd_upgrade_no_product");
    return out;
}
