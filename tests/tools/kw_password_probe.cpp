// kw_password_probe PROMPT DEFAULT: asks for a password as the console pages do and prints
// "password=<text>" on a line of its own, or "error <class> <rep> <sys> <supp>: <text>".
#include <iostream>

#include "common/error.h"
#include "installer/TextDialog.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: kw_password_probe PROMPT DEFAULT" << std::endl;
        return 64;
    }
    try {
        const std::string password = TextDialog::askPassword(argv[1], argv[2]);
        std::cout << "\npassword=" << password << std::endl;
    } catch (const error& e) {
        std::cout << "\nerror " << e.e_class << " " << e.e_rep << " " << e.e_sys << " " << e.e_supp << ": "
                  << e.getText() << std::flush;
        return 1;
    }
    return 0;
}
