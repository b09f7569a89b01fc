#ifndef KW_INSTALLER_CUSTOMERFEEDBACK_H
#define KW_INSTALLER_CUSTOMERFEEDBACK_H

#include <string>

// Whether error reports may be sent: the administrator's answer, kept across runs as flag files in
// "/var/quillfern", and the catalogue's permission, kept for the run. Also the product and group that
// reports are filed under. Static functions only.
class CustomerFeedback {
public:
    enum state_t { ENABLED = 0, DISABLED = 1, UNDECIDED = 2 };

    // The catalogue's permission ("send_feedback" of the last loaded build file); true until set.
    static void setAllowed(bool allowed);
    static bool isAllowed();
    // A command-line run sends reports while the administrator has not answered.
    static void setNonInteractiveRun();

    // Stores the administrator's answer; a failing file operation raises its error.
    static void setEnabled(bool enabled);
    // "feedback-disabled" wins over "feedback-enabled"; neither file: undecided.
    static int getState();
    static bool isEnabled();
    static bool isUndecided();
    static bool shouldSend();

    // Written without a line end; a failure to create the directory passes Boost.Filesystem's exception.
    static void setProduct(const std::string& product);
    static void setGroupId(const std::string& groupId);
    // The stored product trimmed of white space; "zanth" when it is empty, missing or unreadable.
    static std::string getProduct();

    static constexpr const char* DIRECTORY = "/var/quillfern";
};

#endif
