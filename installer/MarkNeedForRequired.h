#ifndef KW_INSTALLER_MARKNEEDFORREQUIRED_H
#define KW_INSTALLER_MARKNEEDFORREQUIRED_H

#include "installer/ComponentManager.h"

// Requests for install what each required component needs.
class ComponentManager::MarkNeedForRequired : public ComponentManager::Visitor {
public:
    explicit MarkNeedForRequired(ComponentManager* manager);

    void visit(const boost::shared_ptr<KwComponent>& component) override;

private:
    ComponentManager* manager;
};

#endif
