#ifndef KW_INSTALLER_ACTION_H
#define KW_INSTALLER_ACTION_H

#include <string>

class Package;
class TiXmlElement;

// One action of a package's named action sequences: a program to run, or a nested sequence.
class Action {
public:
    virtual ~Action();
    // Reads the action from its element; the package is the one whose properties the texts use.
    virtual void load(TiXmlElement* element, const Package* package) = 0;
    // 0 on success.
    virtual int execute() = 0;
};

// What every loaded action has: a display name, its element as text, its package and whether its
// failure stops the sequence.
class BaseAction : public Action {
public:
    // The text with every [name] reference to a property of the package replaced by its value.
    std::string expand(const std::string& text) const;

    std::string displayname;
    std::string xml;  // the element, printed compactly, for reference
    const Package* package = nullptr;
    bool critical = true;  // false only for critical="false"

protected:
    // The part of loading that every action shares.
    void loadBase(TiXmlElement* element, const Package* package);
};

#endif
