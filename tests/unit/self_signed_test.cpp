#include "cert/self_signed.h"

#include <mbedtls/asn1.h>
#include <mbedtls/base64.h>
#include <mbedtls/bignum.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/x509.h>

#include <cctype>
#include <functional>

#include "cert_checks.h"
#include "mbedtls_spy.h"
#include "sim_test.h"

namespace {

const char kFolder[] = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\instances\\default";
const char kPath[] = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\instances\\default\\.cert";

// The library calls of one certificate, with the machine's clock at
// 2026-12-11 14:45:30.123 UTC.
const char kWriterLog[] =
    "x509write_crt_init(crt1)\n"
    "mpi_init(mpi1)\n"
    "ctr_drbg_init(drbg1)\n"
    "entropy_init(entropy1)\n"
    "ctr_drbg_seed(drbg1, entropy_func, entropy1, \"crt qmx OPCUA installer \", 24)\n"
    "mpi_read_string(mpi1, 10, \"1\")\n"
    "x509write_crt_set_subject_key(crt1, key)\n"
    "x509write_crt_set_issuer_key(crt1, key)\n"
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
    "x509write_crt_pem(crt1, zeroed buffer, 4096, ctr_drbg_random, drbg1)\n"
    "x509write_crt_free(crt1)\n"
    "mpi_free(mpi1)\n"
    "ctr_drbg_free(drbg1)\n"
    "entropy_free(entropy1)\n";

const char kRelease[] =
    "x509write_crt_free(crt1)\n"
    "mpi_free(mpi1)\n"
    "ctr_drbg_free(drbg1)\n"
    "entropy_free(entropy1)\n";

// The writer takes any RSA key; a small one, made once for the whole
// executable, keeps the tests quick.
mbedtls_pk_context key;

class SmallKey : public ::testing::Environment {
public:
    void SetUp() override {
        mbedtls_pk_init(&key);
        mbedtls_ctr_drbg_context random;
        mbedtls_entropy_context entropy;
        mbedtls_ctr_drbg_init(&random);
        mbedtls_entropy_init(&entropy);
        int status = mbedtls_pk_setup(&key, mbedtls_pk_info_from_type(MBEDTLS_PK_RSA));
        if (status == 0) status = mbedtls_ctr_drbg_seed(&random, mbedtls_entropy_func, &entropy, nullptr, 0);
        if (status == 0) {
            status = mbedtls_rsa_gen_key(mbedtls_pk_rsa(key), mbedtls_ctr_drbg_random, &random, 1024, 65537);
        }
        mbedtls_ctr_drbg_free(&random);
        mbedtls_entropy_free(&entropy);
        ASSERT_EQ(status, 0);
    }
    void TearDown() override { mbedtls_pk_free(&key); }
};

::testing::Environment* const smallKey = ::testing::AddGlobalTestEnvironment(new SmallKey);

class SelfSignedTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        spy::reset();
        spy::adopt(&key, "key");
        sim::makeDir(kFolder);
    }
    void TearDown() override {
        EXPECT_EQ(spy::liveContexts(), "") << "library contexts left without their free";
        SimTest::TearDown();
    }

    int write() { return writeSelfSignedCertificate(&key, kPath); }
};

TEST_F(SelfSignedTest, CallsTheWriterInOrderWithTheFixedSettings) {
    ASSERT_EQ(write(), 0);
    EXPECT_EQ(spy::log(), kWriterLog);
    EXPECT_EQ(sim::callCount("GetSystemTime"), 1u) << "both ends come from one reading of the clock";
}

TEST_F(SelfSignedTest, CertificateReadsBackFieldByField) {
    ASSERT_EQ(write(), 0);
    Der notBefore{};
    Der notAfter{};
    expectDefaultCertificate(sim::readFile(kPath), key, notBefore, notAfter);
    // Seconds kept, milliseconds dropped; UTCTime before 2050, GeneralizedTime after.
    EXPECT_EQ(notBefore.tag, MBEDTLS_ASN1_UTC_TIME);
    EXPECT_EQ(notBefore.content, "261211144530Z");
    EXPECT_EQ(notAfter.tag, MBEDTLS_ASN1_GENERALIZED_TIME);
    EXPECT_EQ(notAfter.content, "20561211144530Z");
}

struct ValidityCase {
    const char* what;
    SYSTEMTIME clock;
    unsigned char startTag;
    const char* start;
    unsigned char endTag;
    const char* end;
};

void PrintTo(const ValidityCase& c, std::ostream* out) { *out << c.what; }

class SelfSignedValidityTest : public SelfSignedTest, public ::testing::WithParamInterface<ValidityCase> {};

constexpr unsigned char kUtc = MBEDTLS_ASN1_UTC_TIME;
constexpr unsigned char kGeneralized = MBEDTLS_ASN1_GENERALIZED_TIME;

TEST_P(SelfSignedValidityTest, EndIsThirtyYearsAfterTheStart) {
    const ValidityCase& c = GetParam();
    sim::setSystemTime(c.clock);
    ASSERT_EQ(write(), 0);
    const std::string file = sim::readFile(kPath);
    mbedtls_x509_crt crt;
    mbedtls_x509_crt_init(&crt);
    EXPECT_EQ(parseCertificate(crt, file), 0) << "the library's parser must accept the dates";
    mbedtls_x509_crt_free(&crt);
    Der notBefore{};
    Der notAfter{};
    expectDefaultCertificate(file, key, notBefore, notAfter);
    EXPECT_EQ(notBefore.tag, c.startTag);
    EXPECT_EQ(notBefore.content, c.start);
    EXPECT_EQ(notAfter.tag, c.endTag);
    EXPECT_EQ(notAfter.content, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, SelfSignedValidityTest,
    ::testing::Values(
        ValidityCase{"before 2020", {2019, 6, 6, 1, 8, 5, 9, 999}, kUtc, "190601080509Z", kUtc, "490601080509Z"},
        ValidityCase{"first second of 2020", {2020, 1, 3, 1, 0, 0, 0, 0}, kUtc, "200101000000Z", kGeneralized,
                     "20500101000000Z"},
        ValidityCase{"last second of 2049", {2049, 12, 5, 31, 23, 59, 59, 999}, kUtc, "491231235959Z", kGeneralized,
                     "20791231235959Z"},
        ValidityCase{"from 2050", {2050, 1, 6, 1, 12, 30, 0, 0}, kGeneralized, "20500101123000Z", kGeneralized,
                     "20800101123000Z"},
        // No year 30 years after a 29 February has one: the last day of that February.
        ValidityCase{"29 February", {2024, 2, 4, 29, 10, 20, 30, 400}, kUtc, "240229102030Z", kGeneralized,
                     "20540228102030Z"},
        ValidityCase{"29 February of a century leap year", {2000, 2, 2, 29, 0, 0, 0, 0}, kUtc, "000229000000Z",
                     kUtc, "300228000000Z"},
        ValidityCase{"28 February stays", {2023, 2, 2, 28, 6, 7, 8, 9}, kUtc, "230228060708Z", kGeneralized,
                     "20530228060708Z"}),
    [](const ::testing::TestParamInfo<ValidityCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// A library call that fails: its status comes back unchanged, no later
// setting is made, every context is released, and the file is not touched.
struct LibraryFailure {
    const char* call;
    int status;
};

void PrintTo(const LibraryFailure& f, std::ostream* out) { *out << f.call << " fails with " << f.status; }

class SelfSignedLibraryFailureTest : public SelfSignedTest, public ::testing::WithParamInterface<LibraryFailure> {};

TEST_P(SelfSignedLibraryFailureTest, ReturnsItsStatusAndReleasesEverything) {
    const LibraryFailure& f = GetParam();
    sim::writeFile(kPath, "earlier certificate");
    spy::failCall(f.call, f.status);
    EXPECT_EQ(write(), f.status);
    const std::string full = kWriterLog;
    size_t failing = full.find(std::string(f.call) + "(");
    ASSERT_NE(failing, std::string::npos);
    EXPECT_EQ(spy::log(), full.substr(0, full.find('\n', failing) + 1) + kRelease);
    EXPECT_EQ(sim::readFile(kPath), "earlier certificate");
}

INSTANTIATE_TEST_SUITE_P(
    EachCheckedCall, SelfSignedLibraryFailureTest,
    ::testing::Values(LibraryFailure{"ctr_drbg_seed", MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED},
                      LibraryFailure{"mpi_read_string", MBEDTLS_ERR_MPI_ALLOC_FAILED},
                      LibraryFailure{"x509write_crt_set_subject_name", MBEDTLS_ERR_X509_ALLOC_FAILED},
                      LibraryFailure{"x509write_crt_set_issuer_name", MBEDTLS_ERR_X509_UNKNOWN_OID},
                      LibraryFailure{"x509write_crt_set_serial", MBEDTLS_ERR_X509_BAD_INPUT_DATA},
                      LibraryFailure{"x509write_crt_set_validity", MBEDTLS_ERR_X509_INVALID_DATE},
                      LibraryFailure{"x509write_crt_set_basic_constraints", MBEDTLS_ERR_ASN1_BUF_TOO_SMALL},
                      LibraryFailure{"x509write_crt_set_subject_key_identifier", MBEDTLS_ERR_X509_FEATURE_UNAVAILABLE},
                      LibraryFailure{"x509write_crt_set_authority_key_identifier", MBEDTLS_ERR_ASN1_ALLOC_FAILED},
                      LibraryFailure{"x509write_crt_set_key_usage", MBEDTLS_ERR_X509_INVALID_FORMAT},
                      LibraryFailure{"x509write_crt_pem", MBEDTLS_ERR_BASE64_BUFFER_TOO_SMALL}),
    [](const ::testing::TestParamInfo<LibraryFailure>& info) { return std::string(info.param.call); });

// The file cannot be written in full: -1, after a complete encoding.
struct FileFailure {
    const char* what;
    std::function<void()> arrange;
    std::function<void(const std::string& file)> expectLeft;
};

void PrintTo(const FileFailure& f, std::ostream* out) { *out << f.what; }

class SelfSignedFileFailureTest : public SelfSignedTest, public ::testing::WithParamInterface<FileFailure> {};

TEST_P(SelfSignedFileFailureTest, GivesMinusOne) {
    const FileFailure& f = GetParam();
    sim::writeFile(kPath, "earlier certificate");
    f.arrange();
    EXPECT_EQ(write(), -1);
    EXPECT_EQ(spy::log(), kWriterLog);
    f.expectLeft(sim::readFile(kPath));
}

void untouched(const std::string& file) { EXPECT_EQ(file, "earlier certificate"); }
void empty(const std::string& file) { EXPECT_EQ(file, ""); }

INSTANTIATE_TEST_SUITE_P(
    EachWay, SelfSignedFileFailureTest,
    ::testing::Values(
        FileFailure{"OpenFails", [] { sim::failOnce("fopen", ERROR_ACCESS_DENIED); }, untouched},
        FileFailure{"EarlierFileIsReadOnly", [] { sim::setReadOnly(kPath, true); }, untouched},
        FileFailure{"ShortWrite", [] { sim::failOnce("fwrite", 100); },
                    [](const std::string& file) {
                        EXPECT_EQ(withoutCarriageReturns(file).size(), 100u);
                        EXPECT_EQ(file.rfind("-----BEGIN CERTIFICATE-----\r\n", 0), 0u);
                    }},
        // The runtime still holds the whole text when the close fails.
        FileFailure{"CloseFails", [] { sim::failOnce("fclose", ERROR_DISK_FULL); }, empty},
        FileFailure{"DiskFullShowsAtTheClose", [] { sim::setDiskSpace(100); }, empty}),
    [](const ::testing::TestParamInfo<FileFailure>& info) { return std::string(info.param.what); });

}  // namespace
