#include "installer/DlgInstTypes.h"

#include "installer/ComponentManager.h"

DlgInstTypes::DlgInstTypes(BuildManager* builds_, ComponentManager* components_)
    : components(components_), builds(builds_)
{
    for (const InstTypes::product_t& product : components->instTypes.getProducts())
        chosenFor(product.id) = product.types.empty() ? std::string() : product.types.front().names.front();
}

std::string& DlgInstTypes::chosenFor(const std::string& productId)
{
    for (auto& entry : chosen)
        if (entry.first == productId)
            return entry.second;
    chosen.emplace_back(productId, std::string());
    return chosen.back().second;
}
