#ifndef KW_INSTALLER_SELECTEDCOUNTER_H
#define KW_INSTALLER_SELECTEDCOUNTER_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "installer/ComponentManager.h"

// Counts, per group name, the visible components of a product that will be installed and all of
// them; a radio group counts as one. A sub group's counts add to the enclosing group's when it
// closes; "" is the top level.
class ComponentManager::SelectedCounter : public ComponentManager::Visitor {
public:
    typedef std::map<std::string, std::pair<int, int>> counts_t;  // name -> (selected, total)

    explicit SelectedCounter(const std::string& productId);

    void visit(const boost::shared_ptr<KwComponent>& component) override;
    void beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override;
    void endRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override;
    void beginSubGroup(const boost::shared_ptr<KwSubGroup>& group) override;
    void endSubGroup(const boost::shared_ptr<KwSubGroup>& group) override;

    const counts_t& getCounts() const { return counts; }

private:
    void count(bool selected);

    std::string productId;
    counts_t counts;
    std::vector<std::string> groups;  // the open groups, innermost last
    bool inRadioGroup = false;
};

#endif
