#include "cert/default_certificate.h"

#include <cstring>

#include "app/console.h"
#include "app/destination.h"
#include "app/paths.h"
#include "cert/default_key.h"
#include "cert/self_signed.h"
#include "cert/text_file.h"
#include "platform/os.h"

namespace {

constexpr size_t kPemSize = 4096;

// The key's PEM text (PKCS#1, unencrypted) into the key file.
int writeKeyFile(mbedtls_pk_context* key, const char* keyPath) {
    unsigned char pem[kPemSize];
    std::memset(pem, 0, sizeof pem);
    int status = mbedtls_pk_write_key_pem(key, pem, sizeof pem);
    if (status < 0) return status;
    return writeTextFile(keyPath, reinterpret_cast<const char*>(pem));
}

// 0 when both files have been written, else the status of the first failure.
int makeKeyAndCertificate(const char* keyPath, const char* certificatePath) {
    mbedtls_pk_context key;
    mbedtls_pk_init(&key);
    int status = generateDefaultKey(&key);
    if (status == 0) status = writeKeyFile(&key, keyPath);
    if (status == 0) status = writeSelfSignedCertificate(&key, certificatePath);
    mbedtls_pk_free(&key);
    return status;
}

}  // namespace

bool generateDefaultCertificate(const InstallContext& context) {
    printInfo("Generating default certificate...");
    PathBuffer certificatePath;
    PathBuffer keyPath;
    if (!buildInstalledPath(context, kDefaultCertificateFile, certificatePath) ||
        !buildInstalledPath(context, kDefaultKeyFile, keyPath)) {
        return false;
    }
    // Existence alone decides: a pair that is there is kept, whatever it holds.
    if (os::PathFileExistsA(certificatePath) && os::PathFileExistsA(keyPath)) {
        printInfo("\n  default certificate exists already. Will skip.\n");
        return true;
    }
    if (!ensureSubdirs(context, kDefaultCertificateFile) || !ensureSubdirs(context, kDefaultKeyFile)) return false;

    int status = makeKeyAndCertificate(keyPath, certificatePath);
    if (status != 0) {
        printError(" failed: %d\n", status);
        return false;
    }
    printInfo(" ok\n");
    return true;
}
