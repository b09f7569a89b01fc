#ifndef KW_INSTALLER_SUBSTITUTE_VARIABLES_H
#define KW_INSTALLER_SUBSTITUTE_VARIABLES_H

#include <string>

// Replaces, in place, every variable written as its name in square brackets by the variable's value.
// The one variable is LOCALE: the message locale up to its first ".", "de_DE.UTF-8" giving "de-DE".
// Other bracketed names are left as they are.
void substitute_variables(std::string& text);

#endif
