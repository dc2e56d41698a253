// The default instance's certificate: X.509 v3, self-signed by the default
// key, stored as PEM text.
#pragma once

#include <mbedtls/pk.h>

// Writes the certificate for `key` (borrowed, not freed) to `path`. Returns 0,
// the first negative status of the library, or -1 when the file cannot be
// opened or written in full. Prints nothing.
int writeSelfSignedCertificate(mbedtls_pk_context* key, const char* path);
