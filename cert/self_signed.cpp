#include "cert/self_signed.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/x509_crt.h>

#include <cstring>

#include "cert/text_file.h"
#include "cert/validity.h"
#include "platform/os.h"

namespace {

// Passed without the terminating NUL, trailing blank included.
const char kPersonalisation[] = "crt qmx OPCUA installer ";
static_assert(sizeof kPersonalisation - 1 == 24, "personalisation string is 24 bytes");

// Subject and issuer: the certificate is its own issuer.
const char kName[] = "CN=qmx OPCUA installer";
constexpr unsigned int kKeyUsage = MBEDTLS_X509_KU_DIGITAL_SIGNATURE | MBEDTLS_X509_KU_DATA_ENCIPHERMENT;
static_assert(kKeyUsage == 0x90, "digitalSignature and dataEncipherment");

constexpr size_t kPemSize = 4096;

struct CertificateWork {
    mbedtls_x509write_cert writer;
    mbedtls_mpi serial;
    mbedtls_ctr_drbg_context random;
    mbedtls_entropy_context entropy;
};

// Gives the writer everything and lets it sign and encode into `pem`. The
// first failing call ends the sequence; its status is returned unchanged.
int encodeCertificate(CertificateWork& work, mbedtls_pk_context* key, unsigned char (&pem)[kPemSize]) {
    mbedtls_x509write_cert* writer = &work.writer;
    int status = mbedtls_ctr_drbg_seed(&work.random, mbedtls_entropy_func, &work.entropy,
                                       reinterpret_cast<const unsigned char*>(kPersonalisation),
                                       sizeof kPersonalisation - 1);
    if (status != 0) return status;
    status = mbedtls_mpi_read_string(&work.serial, 10, "1");
    if (status != 0) return status;

    mbedtls_x509write_crt_set_subject_key(writer, key);
    mbedtls_x509write_crt_set_issuer_key(writer, key);
    status = mbedtls_x509write_crt_set_subject_name(writer, kName);
    if (status != 0) return status;
    status = mbedtls_x509write_crt_set_issuer_name(writer, kName);
    if (status != 0) return status;

    mbedtls_x509write_crt_set_version(writer, MBEDTLS_X509_CRT_VERSION_3);
    mbedtls_x509write_crt_set_md_alg(writer, MBEDTLS_MD_SHA256);
    status = mbedtls_x509write_crt_set_serial(writer, &work.serial);
    if (status != 0) return status;

    // One reading of the clock gives both ends of the validity.
    SYSTEMTIME now;
    os::GetSystemTime(&now);
    char notBefore[kValidityTextSize];
    char notAfter[kValidityTextSize];
    formatValidity(now, notBefore, notAfter);
    status = mbedtls_x509write_crt_set_validity(writer, notBefore, notAfter);
    if (status != 0) return status;

    // Extensions in the order the certificate carries them.
    status = mbedtls_x509write_crt_set_basic_constraints(writer, 0, -1);
    if (status != 0) return status;
    status = mbedtls_x509write_crt_set_subject_key_identifier(writer);
    if (status != 0) return status;
    status = mbedtls_x509write_crt_set_authority_key_identifier(writer);
    if (status != 0) return status;
    status = mbedtls_x509write_crt_set_key_usage(writer, kKeyUsage);
    if (status != 0) return status;

    std::memset(pem, 0, sizeof pem);
    status = mbedtls_x509write_crt_pem(writer, pem, sizeof pem, mbedtls_ctr_drbg_random, &work.random);
    return status < 0 ? status : 0;
}

}  // namespace

int writeSelfSignedCertificate(mbedtls_pk_context* key, const char* path) {
    CertificateWork work;
    mbedtls_x509write_crt_init(&work.writer);
    mbedtls_mpi_init(&work.serial);
    mbedtls_ctr_drbg_init(&work.random);
    mbedtls_entropy_init(&work.entropy);

    unsigned char pem[kPemSize];
    int status = encodeCertificate(work, key, pem);
    if (status == 0) status = writeTextFile(path, reinterpret_cast<const char*>(pem));

    mbedtls_x509write_crt_free(&work.writer);
    mbedtls_mpi_free(&work.serial);
    mbedtls_ctr_drbg_free(&work.random);
    mbedtls_entropy_free(&work.entropy);
    return status;
}
