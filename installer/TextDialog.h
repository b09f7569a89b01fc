#ifndef KW_INSTALLER_TEXTDIALOG_H
#define KW_INSTALLER_TEXTDIALOG_H

// The base of the console pages.
class TextDialog {
public:
    // The pages print blank lines instead of clearing the screen.
    static bool noClear;
};

#endif
