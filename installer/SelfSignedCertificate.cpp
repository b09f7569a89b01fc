#include "installer/SelfSignedCertificate.h"

#include "common/error.h"

std::string SelfSignedCertificate::getPath()
{
    // This build has no web interface yet, so nothing could serve the certificate.
    throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE) << "The web interface is not available in this build yet.";
}
