#include "cert/default_key.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/rsa.h>

namespace {

// Passed without the terminating NUL.
const char kPersonalisation[] = "qmx OPCUA installer rsa genkey";
static_assert(sizeof kPersonalisation - 1 == 30, "personalisation string is 30 bytes");

}  // namespace

int generateDefaultKey(mbedtls_pk_context* key) {
    int status = mbedtls_pk_setup(key, mbedtls_pk_info_from_type(MBEDTLS_PK_RSA));
    if (status != 0) return status;

    // This generator serves the key alone; the certificate seeds its own.
    mbedtls_ctr_drbg_context random;
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_init(&random);
    mbedtls_entropy_init(&entropy);
    status = mbedtls_ctr_drbg_seed(&random, mbedtls_entropy_func, &entropy,
                                   reinterpret_cast<const unsigned char*>(kPersonalisation),
                                   sizeof kPersonalisation - 1);
    if (status == 0) {
        status = mbedtls_rsa_gen_key(mbedtls_pk_rsa(*key), mbedtls_ctr_drbg_random, &random, kDefaultKeyBits,
                                     kDefaultKeyExponent);
    }
    mbedtls_ctr_drbg_free(&random);
    mbedtls_entropy_free(&entropy);
    return status;
}
