#include "cert/default_certificate.h"

#include <mbedtls/base64.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/pk.h>
#include <mbedtls/rsa.h>

#include <cctype>
#include <cstring>
#include <functional>

#include "cert/default_key.h"
#include "cert_checks.h"
#include "mbedtls_spy.h"
#include "sim_test.h"

namespace {

const std::string kDestination = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\";
const std::string kKeyPath = kDestination + "instances\\default\\.key";
const std::string kCertPath = kDestination + "instances\\default\\.cert";

const char kAnnounce[] = "Generating default certificate...";

// The library calls of a run that makes both files, clock at
// 2026-12-11 14:45:30.123 UTC: the key with its own generator, then the
// certificate with another, then the key container freed.
const char kKeyLog[] =
    "pk_init(pk1)\n"
    "pk_setup(pk1, RSA)\n"
    "ctr_drbg_init(drbg1)\n"
    "entropy_init(entropy1)\n"
    "ctr_drbg_seed(drbg1, entropy_func, entropy1, \"qmx OPCUA installer rsa genkey\", 30)\n"
    "rsa_gen_key(rsa of pk1, ctr_drbg_random, drbg1, 2048, 65537)\n"
    "ctr_drbg_free(drbg1)\n"
    "entropy_free(entropy1)\n"
    "pk_write_key_pem(pk1, zeroed buffer, 4096)\n";
const char kCertificateStart[] =
    "x509write_crt_init(crt1)\n"
    "mpi_init(mpi1)\n"
    "ctr_drbg_init(drbg2)\n"
    "entropy_init(entropy2)\n"
    "ctr_drbg_seed(drbg2, entropy_func, entropy2, \"crt qmx OPCUA installer \", 24)\n";
const char kCertificateRest[] =
    "mpi_read_string(mpi1, 10, \"1\")\n"
    "x509write_crt_set_subject_key(crt1, pk1)\n"
    "x509write_crt_set_issuer_key(crt1, pk1)\n"
    "x509write_crt_set_subject_name(crt1, \"CN=qmx OPCUA installer\")\n"
    "x509write_crt_set_issuer_name(crt1, \"CN=qmx OPCUA installer\")\n"
    "x509write_crt_set_version(crt1, 2)\n"
    "x509write_crt_set_md_alg(crt1, 6)\n"
    "x509write_crt_set_serial(crt1, mpi1)\n"
    "x509write_crt_set_validity(crt1, \"20261211144530\", \"20561211144530\")\n"
    "x509write_crt_set_basic_constraints(crt1, 0, -1)\n"
    "x509write_crt_set_subject_key_identifier(crt1)\n"
    "x509write_crt_set_authority_key_identifier(crt1)\n"
    "x509write_crt_set_key_usage(crt1, 0x90)\n"
    "x509write_crt_pem(crt1, zeroed buffer, 4096, ctr_drbg_random, drbg2)\n";
const char kCertificateRelease[] =
    "x509write_crt_free(crt1)\n"
    "mpi_free(mpi1)\n"
    "ctr_drbg_free(drbg2)\n"
    "entropy_free(entropy2)\n";
const char kKeyFree[] = "pk_free(pk1)\n";

// Test names from the tables' descriptions.
template <typename Row>
std::string nameOf(const ::testing::TestParamInfo<Row>& info) {
    std::string name;
    for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

std::string fullLog() {
    return std::string(kKeyLog) + kCertificateStart + kCertificateRest + kCertificateRelease + kKeyFree;
}

// One key made by the installer's own generation, once for the executable.
// Tests that need some key but not a new one let the step copy it (see
// spy::substituteKey); its files as the step must write them are kept too.
mbedtls_pk_context madeKey;
std::string madeKeyFile;

class MadeKey : public ::testing::Environment {
public:
    void SetUp() override {
        mbedtls_pk_init(&madeKey);
        ASSERT_EQ(generateDefaultKey(&madeKey), 0);
        unsigned char pem[4096] = {};
        ASSERT_EQ(mbedtls_pk_write_key_pem(&madeKey, pem, sizeof pem), 0);
        for (const unsigned char* p = pem; *p; ++p) madeKeyFile += *p == '\n' ? "\r\n" : std::string(1, char(*p));
    }
    void TearDown() override { mbedtls_pk_free(&madeKey); }
};

::testing::Environment* const madeKeyEnvironment = ::testing::AddGlobalTestEnvironment(new MadeKey);

class DefaultCertificateTest : public SimTest {
protected:
    InstallContext context{};

    void SetUp() override {
        SimTest::SetUp();
        spy::reset();
        useDestination(kDestination);
    }
    void TearDown() override {
        EXPECT_EQ(spy::liveContexts(), "") << "library contexts left without their free";
        SimTest::TearDown();
    }

    void useDestination(const std::string& destination) {
        sim::makeDir(destination);
        ASSERT_TRUE(copyPath(context.destinationPath, destination.c_str()));
    }
    static void useMadeKey() { spy::substituteKey(mbedtls_pk_rsa(madeKey)); }
    bool run() { return generateDefaultCertificate(context); }
};

void expectCertificateOf(const std::string& file, const mbedtls_pk_context& key) {
    Der notBefore{};
    Der notAfter{};
    expectDefaultCertificate(file, key, notBefore, notAfter);
    EXPECT_EQ(notBefore.content, "261211144530Z");
    EXPECT_EQ(notAfter.content, "20561211144530Z");
}

// Reads the key file back: the PKCS#1 layout, a 2048-bit pair with exponent
// 65537 that passes the library's consistency checks, and its certificate.
void expectKeyAndCertificate(const std::string& keyFile, const std::string& certificateFile) {
    expectPemFile(keyFile, "RSA PRIVATE KEY");
    mbedtls_pk_context key;
    mbedtls_pk_init(&key);
    EXPECT_EQ(parseKey(key, keyFile), 0);
    if (mbedtls_pk_get_type(&key) == MBEDTLS_PK_RSA) {
        const mbedtls_rsa_context* rsa = mbedtls_pk_rsa(key);
        EXPECT_EQ(mbedtls_pk_get_bitlen(&key), 2048u);
        EXPECT_EQ(mbedtls_mpi_cmp_int(&rsa->E, 65537), 0);
        EXPECT_EQ(mbedtls_rsa_check_privkey(rsa), 0);
        expectCertificateOf(certificateFile, key);
    } else {
        ADD_FAILURE() << "the key file holds no RSA key";
    }
    mbedtls_pk_free(&key);
}

std::string modulusOf(const std::string& keyFile) {
    mbedtls_pk_context key;
    mbedtls_pk_init(&key);
    std::string modulus;
    if (parseKey(key, keyFile) == 0) {
        unsigned char bytes[256];
        if (mbedtls_mpi_write_binary(&mbedtls_pk_rsa(key)->N, bytes, sizeof bytes) == 0) {
            modulus = bytesOf(bytes, sizeof bytes);
        }
    }
    mbedtls_pk_free(&key);
    return modulus;
}

// The two real generations of this file, with all that the files must hold.
TEST_F(DefaultCertificateTest, FirstRunsMakeBothFilesWithANewKeyEachTime) {
    ASSERT_TRUE(run());
    EXPECT_EQ(sim::transcript(), std::string(kAnnounce) + " ok\n");
    EXPECT_EQ(spy::log(), fullLog());
    EXPECT_TRUE(sim::isDir(kDestination + "instances\\default"));
    expectKeyAndCertificate(sim::readFile(kKeyPath), sim::readFile(kCertPath));

    // A second clean destination: another key pair.
    useDestination("D:\\second\\");
    ASSERT_TRUE(run());
    const std::string secondKey = sim::readFile("D:\\second\\instances\\default\\.key");
    expectKeyAndCertificate(secondKey, sim::readFile("D:\\second\\instances\\default\\.cert"));
    EXPECT_NE(modulusOf(secondKey), modulusOf(sim::readFile(kKeyPath)));
}

struct ExistingPair {
    const char* what;
    std::function<void()> arrange;
};

void PrintTo(const ExistingPair& p, std::ostream* out) { *out << p.what; }

class DefaultCertificateSkipTest : public DefaultCertificateTest,
                                   public ::testing::WithParamInterface<ExistingPair> {};

TEST_P(DefaultCertificateSkipTest, BothPresentLeavesEverythingAsItIs) {
    GetParam().arrange();
    const std::string treeBefore = sim::fileTree();
    const std::string keyBefore = sim::readFile(kKeyPath);
    const std::string certBefore = sim::readFile(kCertPath);
    unsigned changes = sim::fileChanges();
    ASSERT_TRUE(run());
    EXPECT_EQ(sim::transcript(), std::string(kAnnounce) + "\n  default certificate exists already. Will skip.\n");
    EXPECT_EQ(spy::log(), "");
    EXPECT_EQ(sim::fileChanges(), changes);
    EXPECT_EQ(sim::callCount("CreateDirectoryA"), 0u);
    EXPECT_EQ(sim::callCount("fopen"), 0u);
    EXPECT_EQ(sim::fileTree(), treeBefore);
    EXPECT_EQ(sim::readFile(kKeyPath), keyBefore);
    EXPECT_EQ(sim::readFile(kCertPath), certBefore);
}

INSTANTIATE_TEST_SUITE_P(
    WhateverTheyHold, DefaultCertificateSkipTest,
    ::testing::Values(ExistingPair{"both empty",
                                   [] {
                                       sim::writeFile(kKeyPath, "");
                                       sim::writeFile(kCertPath, "");
                                   }},
                      ExistingPair{"not PEM at all",
                                   [] {
                                       sim::writeFile(kKeyPath, "not a key");
                                       sim::writeFile(kCertPath, std::string("\0\1\2", 3));
                                   }},
                      ExistingPair{"a key and a certificate that do not belong together",
                                   [] {
                                       sim::writeFile(kKeyPath, madeKeyFile);
                                       sim::writeFile(kCertPath, "-----BEGIN CERTIFICATE-----\r\n");
                                   }},
                      ExistingPair{"folders of those names", [] {
                                       sim::makeDir(kKeyPath);
                                       sim::makeDir(kCertPath);
                                   }}),
    nameOf<ExistingPair>);

// Only one of the two present: both are made anew. The certificate's
// existence is asked first, the key's only when the certificate is there.
struct OnePresent {
    const char* what;
    std::string present;
    unsigned existenceChecks;
};

void PrintTo(const OnePresent& p, std::ostream* out) { *out << p.what; }

class DefaultCertificateOnePresentTest : public DefaultCertificateTest,
                                         public ::testing::WithParamInterface<OnePresent> {};

TEST_P(DefaultCertificateOnePresentTest, BothAreWrittenAnew) {
    const OnePresent& p = GetParam();
    sim::writeFile(p.present, "earlier");
    useMadeKey();
    ASSERT_TRUE(run());
    EXPECT_EQ(sim::transcript(), std::string(kAnnounce) + " ok\n");
    EXPECT_EQ(sim::callCount("PathFileExistsA"), p.existenceChecks);
    EXPECT_EQ(sim::readFile(kKeyPath), madeKeyFile);
    expectCertificateOf(sim::readFile(kCertPath), madeKey);
}

INSTANTIATE_TEST_SUITE_P(Either, DefaultCertificateOnePresentTest,
                         ::testing::Values(OnePresent{"only the key", kKeyPath, 1},
                                           OnePresent{"only the certificate", kCertPath, 2}),
                         nameOf<OnePresent>);

// A failure after the folders: the red status on the progress line, false,
// every context freed, and the files as the failure left them.
struct Failure {
    const char* what;
    std::function<void()> arrange;
    int status;
    std::string log;
    std::function<void()> expectLeft;
};

void PrintTo(const Failure& f, std::ostream* out) { *out << f.what; }

class DefaultCertificateFailureTest : public DefaultCertificateTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(DefaultCertificateFailureTest, ReportsTheStatusInRed) {
    const Failure& f = GetParam();
    useMadeKey();
    f.arrange();
    EXPECT_FALSE(run());
    EXPECT_EQ(sim::transcript(), kAnnounce + red(" failed: " + std::to_string(f.status) + "\n"));
    EXPECT_EQ(spy::log(), f.log);
    f.expectLeft();
}

const std::string kKeyOnlyLog = std::string(kKeyLog) + kKeyFree;
const std::string kThroughCertificateLog = fullLog();

void noCertificate() { EXPECT_FALSE(sim::exists(kCertPath)); }
void completeKeyAnd(const std::string& certificate) {
    EXPECT_EQ(sim::readFile(kKeyPath), madeKeyFile);
    EXPECT_EQ(sim::readFile(kCertPath), certificate);
}

INSTANTIATE_TEST_SUITE_P(
    Library, DefaultCertificateFailureTest,
    ::testing::Values(
        Failure{"key container set-up", [] { spy::failCall("pk_setup", MBEDTLS_ERR_PK_ALLOC_FAILED); },
                MBEDTLS_ERR_PK_ALLOC_FAILED, "pk_init(pk1)\npk_setup(pk1, RSA)\npk_free(pk1)\n",
                [] { EXPECT_FALSE(sim::exists(kKeyPath)); }},
        // An entropy source that fails during the seeding.
        Failure{"seeding", [] { spy::failCall("ctr_drbg_seed", MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED); }, -52,
                "pk_init(pk1)\npk_setup(pk1, RSA)\nctr_drbg_init(drbg1)\nentropy_init(entropy1)\n"
                "ctr_drbg_seed(drbg1, entropy_func, entropy1, \"qmx OPCUA installer rsa genkey\", 30)\n"
                "ctr_drbg_free(drbg1)\nentropy_free(entropy1)\npk_free(pk1)\n",
                [] { EXPECT_FALSE(sim::exists(kKeyPath)); }},
        Failure{"key generation",
                [] {
                    sim::writeFile(kKeyPath, "earlier key");
                    spy::failCall("rsa_gen_key", MBEDTLS_ERR_RSA_KEY_GEN_FAILED);
                },
                MBEDTLS_ERR_RSA_KEY_GEN_FAILED,
                "pk_init(pk1)\npk_setup(pk1, RSA)\nctr_drbg_init(drbg1)\nentropy_init(entropy1)\n"
                "ctr_drbg_seed(drbg1, entropy_func, entropy1, \"qmx OPCUA installer rsa genkey\", 30)\n"
                "rsa_gen_key(rsa of pk1, ctr_drbg_random, drbg1, 2048, 65537)\n"
                "ctr_drbg_free(drbg1)\nentropy_free(entropy1)\npk_free(pk1)\n",
                [] { EXPECT_EQ(sim::readFile(kKeyPath), "earlier key"); }},
        Failure{"PEM conversion",
                [] {
                    sim::writeFile(kKeyPath, "earlier key");
                    spy::failCall("pk_write_key_pem", MBEDTLS_ERR_BASE64_BUFFER_TOO_SMALL);
                },
                MBEDTLS_ERR_BASE64_BUFFER_TOO_SMALL, kKeyOnlyLog,
                [] { EXPECT_EQ(sim::readFile(kKeyPath), "earlier key"); }},
        Failure{"certificate seeding",
                [] { spy::failCall("ctr_drbg_seed", MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED, 2); },
                -52, std::string(kKeyLog) + kCertificateStart + kCertificateRelease + kKeyFree,
                [] {
                    EXPECT_EQ(sim::readFile(kKeyPath), madeKeyFile);
                    noCertificate();
                }}),
    nameOf<Failure>);

INSTANTIATE_TEST_SUITE_P(
    Files, DefaultCertificateFailureTest,
    ::testing::Values(
        // A folder in the key's place: it exists, so the certificate alone
        // decides the skip; the certificate writer is never called.
        Failure{"key path cannot be opened", [] { sim::makeDir(kKeyPath); }, -1, kKeyOnlyLog, noCertificate},
        Failure{"short write of the key", [] { sim::failOnce("fwrite", 10); }, -1, kKeyOnlyLog,
                [] {
                    EXPECT_EQ(sim::readFile(kKeyPath), "-----BEGIN");
                    noCertificate();
                }},
        Failure{"key file close fails", [] { sim::failOnce("fclose", ERROR_DISK_FULL); }, -1, kKeyOnlyLog,
                [] {
                    EXPECT_EQ(sim::readFile(kKeyPath), "");
                    noCertificate();
                }},
        // The runtime took every byte; the full disk shows when it writes them.
        Failure{"disk full under the key", [] { sim::setDiskSpace(100); }, -1, kKeyOnlyLog,
                [] {
                    EXPECT_EQ(sim::readFile(kKeyPath), "");
                    noCertificate();
                }},
        Failure{"certificate path cannot be opened",
                [] {
                    sim::writeFile(kCertPath, "earlier certificate");
                    sim::setReadOnly(kCertPath, true);
                },
                -1, kThroughCertificateLog, [] { completeKeyAnd("earlier certificate"); }},
        Failure{"certificate file close fails", [] { sim::failOnce("fclose", ERROR_DISK_FULL, 2); }, -1,
                kThroughCertificateLog, [] { completeKeyAnd(""); }}),
    nameOf<Failure>);

TEST_F(DefaultCertificateTest, FolderThatCannotBeCreatedEndsTheStepWithItsReason) {
    sim::writeFile(kDestination + "instances", "a file in the folder's place");
    EXPECT_FALSE(run());
    EXPECT_EQ(sim::transcript(),
              std::string(kAnnounce) + "\n  " +
                  red("Failed to create dir \"" + kDestination + "instances\\default\": 0x00000003\n"));
    EXPECT_EQ(spy::log(), "");
}

// The certificate path is the longer of the two: 23 characters after the
// destination, 259 in all at most.
TEST_F(DefaultCertificateTest, LongestDestinationThatFits) {
    const std::string destination = "C:\\" + std::string(232, 'p') + "\\";
    ASSERT_EQ(destination.size() + std::strlen(kDefaultCertificateFile), 259u);
    useDestination(destination);
    useMadeKey();
    ASSERT_TRUE(run());
    EXPECT_EQ(sim::transcript(), std::string(kAnnounce) + " ok\n");
    EXPECT_EQ(sim::readFile(destination + kDefaultKeyFile), madeKeyFile);
    expectCertificateOf(sim::readFile(destination + kDefaultCertificateFile), madeKey);
}

TEST_F(DefaultCertificateTest, PathThatDoesNotFitIsAnInternalErrorAndChangesNothing) {
    const std::string destination = "C:\\" + std::string(233, 'p') + "\\";
    useDestination(destination);
    unsigned changes = sim::fileChanges();
    EXPECT_FALSE(run());
    EXPECT_EQ(sim::transcript(), kAnnounce + red("internal error\n"));
    EXPECT_EQ(sim::fileChanges(), changes);
    EXPECT_EQ(sim::callCount("PathFileExistsA"), 0u);
    EXPECT_EQ(spy::log(), "");
}

}  // namespace
