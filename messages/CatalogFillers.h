#ifndef KW_MESSAGES_CATALOGFILLERS_H
#define KW_MESSAGES_CATALOGFILLERS_H

#include <string>
#include <vector>

#include "messages/CatalogTable.h"

// The locales with translated tables, in the order the catalog matches them.
#define KW_TRANSLATED_LOCALES(X) \
    X(ar)                        \
    X(ca_ES)                     \
    X(cs_CZ)                     \
    X(da_DK)                     \
    X(de_DE)                     \
    X(el_GR)                     \
    X(es_ES)                     \
    X(fi_FI)                     \
    X(fr_FR)                     \
    X(he_IL)                     \
    X(hu_HU)                     \
    X(id_ID)                     \
    X(it_IT)                     \
    X(ja_JP)                     \
    X(ko_KR)                     \
    X(ms_MY)                     \
    X(nb_NO)                     \
    X(nl_NL)                     \
    X(pl_PL)                     \
    X(pt_BR)                     \
    X(pt_PT)                     \
    X(ro_RO)                     \
    X(ru_RU)                     \
    X(sv_SE)                     \
    X(th_TH)                     \
    X(tl_PH)                     \
    X(tr_TR)                     \
    X(uk_UA)                     \
    X(vi_VN)                     \
    X(zh_CN)                     \
    X(zh_TW)

// Every table filler sets the text of each key of its table, inserting or replacing.
#define KW_DECLARE_FILLERS(code)                       \
    void fillGeneralCatalog_##code(CatalogTable& rep); \
    void fillWebCatalog_##code(CatalogTable& rep);     \
    void fillErrorsCatalog_##code(CatalogTable& rep);

KW_DECLARE_FILLERS(en_US)
KW_TRANSLATED_LOCALES(KW_DECLARE_FILLERS)

// The three tables of one locale.
struct TableFillers {
    void (*general)(CatalogTable&);
    void (*web)(CatalogTable&);
    void (*errors)(CatalogTable&);

    // General, web, errors: the order in which a catalog lays them over each other.
    void fill(CatalogTable& table) const
    {
        general(table);
        web(table);
        errors(table);
    }
};

// The fillers of a locale code ("en_US", "ar", "de_DE"...); null for a code without tables.
const TableFillers* catalogFillers(const std::string& code);

// The translated locale codes, in match order.
const std::vector<std::string>& translatedLocaleCodes();

#endif
