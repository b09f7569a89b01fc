#ifndef KW_TESTS_SUPPORT_XMLLINT_H
#define KW_TESTS_SUPPORT_XMLLINT_H

#include <string>

// xmllint's verdict on a document held in memory.

// What `xmllint --noout` writes about the document: empty when it is well formed.
std::string xmlProblems(const std::string& document);

// What xmllint finds at the XPath expression, without the line end it adds ("string(...)" gives the
// bare text; a missing node gives xmllint's complaint, which matches no expected value).
std::string xpath(const std::string& document, const std::string& expression);

#endif
