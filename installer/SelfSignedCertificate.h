#ifndef KW_INSTALLER_SELFSIGNEDCERTIFICATE_H
#define KW_INSTALLER_SELFSIGNEDCERTIFICATE_H

#include <string>

// The web interface's own certificate, used when the user gives none.
class SelfSignedCertificate {
public:
    // The PEM file holding the key and the certificate.
    std::string getPath();
};

#endif
