#ifndef KW_INSTALLER_PARAM_H
#define KW_INSTALLER_PARAM_H

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

class KwComponent;

// One setting of a component: a value the component needs before it is installed, checked by the
// subclass of its type. Held through shared pointers: the manager's tree and every walker share it.
class Param {
public:
    typedef std::vector<boost::shared_ptr<KwComponent>> components_t;

    // How the settings file treats the setting.
    enum Behaviour { REGULAR = 0, SECURE = 1, DETECTABLE = 2 };

    Param(const boost::shared_ptr<KwComponent>& owner, const std::string& id);
    virtual ~Param();
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;

    // The type word of the build file.
    virtual std::string getTypeName() const = 0;
    // Whether a value has been accepted; branching settings also ask their active branch.
    virtual bool isComplete() const;
    // Whether the text is acceptable; may record why not in the detail.
    virtual bool validate(const std::string& text) = 0;
    // Keeps an accepted text as the value.
    virtual void store(const std::string& text);

    // The only way a value enters the setting. A refused text keeps the old value and marks the
    // setting invalid. Changing a read-only setting is an internal error.
    bool setValue(const std::string& text);
    // The default with its references expanded; an internal error when there is no default.
    std::string getDefault() const;
    // The value once complete, else the expanded default, else "".
    std::string getValue() const;
    // An owner is installed already: the setting keeps what the installed component has.
    bool is_readonly() const;

    void setDefault(const std::string& text);
    bool hasDefault() const { return has_default; }
    // The default as the build file wrote it, references and all.
    const std::string& getDefaultText() const { return default_text; }
    void setTexts(const std::string& name, const std::string& description, const std::string& error_message);
    // An internal error when there is no owner.
    const components_t& getComponents() const;
    void addComponent(const boost::shared_ptr<KwComponent>& component);
    // The error message and, when the last refusal left one, " - " and its detail.
    std::string getErrorMessage() const;

    // The accepted value as stored, complete or not; "" while unset.
    const std::string& getStoredValue() const { return value; }
    const std::string& getId() const { return id; }
    const std::string& getName() const { return name; }
    const std::string& getDescription() const { return description; }
    // The last text offered, accepted or not: shown again beside the error.
    const std::string& getText() const { return text; }
    const std::string& getDetail() const { return detail; }
    bool isValid() const { return valid; }
    int getBehaviour() const { return behaviour; }
    void setBehaviour(int value) { behaviour = value; }

protected:
    // A length bound of the definition as the checks use it: its number's low 32 bits, unsigned.
    // Throws the number error when the bound is not a number.
    static uint32_t lengthBound(const std::string& bound);

    std::string value;
    std::string text;
    std::string detail;  // why the last text was refused, for the types that can tell

private:
    std::string id;
    std::string default_text;
    bool has_default = false;
    bool valid = true;
    components_t owners;
    std::string name;
    std::string description;
    std::string error_message;
    bool unset = true;
    int behaviour = REGULAR;
};

typedef boost::shared_ptr<Param> param_ptr_t;
typedef std::vector<param_ptr_t> params_t;

#endif
