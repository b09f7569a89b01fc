#ifndef KW_MESSAGES_CATALOGTABLE_H
#define KW_MESSAGES_CATALOGTABLE_H

#include <map>
#include <string>

// The texts of a catalog by key, as the table fillers write them. The catalog that the program
// loads extends it; a filler only inserts or replaces texts.
struct CatalogTable {
    std::map<std::string, std::string> messages;
};

#endif
