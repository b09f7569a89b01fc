#ifndef KW_INSTALLER_DIALOG_H
#define KW_INSTALLER_DIALOG_H

// The answers of a page's run.
enum DialogResult : int {
    FORWARD = 200,  // go to the next page
    BACK = 201,     // go to the previous page
    QUIT = 202,     // cancel the wizard
    YES = 203,      // a yes/no question answered yes
    NO = 204,       // a yes/no question answered no
    DONE = 205      // a message was read or a prompt answered
};

// One page of the wizard. The page-kind classes (Dlg...) hold a page's data and the logic that needs
// no screen; their console classes (TextDlg...) implement run.
class Dialog {
public:
    virtual ~Dialog() = default;
    // Shows the page and reads the user's answer.
    virtual DialogResult run() = 0;
};

#endif
