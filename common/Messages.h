#ifndef KW_COMMON_MESSAGES_H
#define KW_COMMON_MESSAGES_H

#include <string>
#include <utility>
#include <vector>

#include "messages/CatalogTable.h"

// The stateless facade of the process-wide message catalog: every user-visible text is looked up
// here by key.
class Messages {
public:
    // One loaded catalog: the English tables with the tables of one translation laid over them.
    class messages_rep : public CatalogTable {
    public:
        explicit messages_rep(const std::string& locale);

        // The text of the key; a missing key yields the key and "_(non_localized)", warned once.
        const std::string& getMessage(const char* key);

        std::string locale;
    };

    const std::string& get(const char* key) const;
    const std::string& get(const std::string& key) const;
    const std::string& getLocale() const;

    static void setLocale(const std::string& locale);
    static std::vector<std::pair<std::string, std::string>> getLanguages();
    static void createDefault();
};

#endif
