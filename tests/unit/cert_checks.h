// Reading back what the certificate code wrote: the PEM layout of a file on
// the simulated disk, and a small DER reader of our own, so the certificate's
// encoding is checked byte by byte and not only through the library's parser.
#pragma once

#include <gtest/gtest.h>
#include <mbedtls/pk.h>
#include <mbedtls/sha1.h>
#include <mbedtls/sha256.h>
#include <mbedtls/oid.h>
#include <mbedtls/x509_crt.h>

#include <string>
#include <vector>

// One DER element: its tag, its content, and the element as a whole.
struct Der {
    unsigned char tag;
    std::string content;
    std::string whole;
};

// The elements that follow each other in `bytes`; an element that does not
// parse fails the test and ends the list.
inline std::vector<Der> derChildren(const std::string& bytes) {
    std::vector<Der> out;
    size_t i = 0;
    while (i < bytes.size()) {
        size_t start = i;
        if (bytes.size() - i < 2) {
            ADD_FAILURE() << "truncated DER header";
            break;
        }
        unsigned char tag = static_cast<unsigned char>(bytes[i++]);
        size_t length = static_cast<unsigned char>(bytes[i++]);
        if (length & 0x80) {
            size_t octets = length & 0x7f;
            if (octets == 0 || octets > 2 || bytes.size() - i < octets) {
                ADD_FAILURE() << "bad DER length";
                break;
            }
            length = 0;
            for (size_t k = 0; k < octets; ++k) length = length << 8 | static_cast<unsigned char>(bytes[i++]);
        }
        if (bytes.size() - i < length) {
            ADD_FAILURE() << "DER content runs past its parent";
            break;
        }
        out.push_back(Der{tag, bytes.substr(i, length), bytes.substr(start, i + length - start)});
        i += length;
    }
    return out;
}

inline std::string bytesOf(const unsigned char* data, size_t length) {
    return std::string(reinterpret_cast<const char*>(data), length);
}

inline std::string sha1Of(const std::string& bytes) {
    unsigned char digest[20];
    mbedtls_sha1_ret(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return bytesOf(digest, sizeof digest);
}

// The text the library produced, before the runtime turned LF into CR LF.
inline std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r') out += c;
    }
    return out;
}

// A PEM file as the text-mode runtime stores it: the header, base64 lines of
// 64 characters (the last one 64 or fewer), the footer, every line ending in
// CR LF, the last one included, and nothing else.
inline void expectPemFile(const std::string& file, const std::string& label) {
    const std::string header = "-----BEGIN " + label + "-----";
    const std::string footer = "-----END " + label + "-----";
    EXPECT_EQ(file.find('\0'), std::string::npos) << "NUL byte in the file";
    ASSERT_GE(file.size(), 2u);
    ASSERT_EQ(file.substr(file.size() - 2), "\r\n") << "the last line ends without CR LF";
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        ASSERT_GT(end, start);
        ASSERT_EQ(file[end - 1], '\r') << "line " << lines.size() + 1 << " ends in a bare LF";
        std::string line = file.substr(start, end - 1 - start);
        EXPECT_EQ(line.find('\r'), std::string::npos) << "bare CR in line " << lines.size() + 1;
        lines.push_back(line);
        start = end + 1;
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), header);
    EXPECT_EQ(lines.back(), footer);
    const std::string base64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        bool last = i + 2 == lines.size();
        EXPECT_TRUE(last ? lines[i].size() <= 64 && !lines[i].empty() : lines[i].size() == 64) << "line " << i + 1;
        EXPECT_EQ(lines[i].find_first_not_of(base64), std::string::npos) << "line " << i + 1;
    }
}

// The library's parsers take PEM text with its terminating NUL.
inline int parseCertificate(mbedtls_x509_crt& crt, const std::string& file) {
    return mbedtls_x509_crt_parse(&crt, reinterpret_cast<const unsigned char*>(file.c_str()), file.size() + 1);
}

inline int parseKey(mbedtls_pk_context& key, const std::string& file) {
    return mbedtls_pk_parse_key(&key, reinterpret_cast<const unsigned char*>(file.c_str()), file.size() + 1,
                                nullptr, 0);
}

// "qmx OPCUA installer" as the single common name of a name, UTF8String.
inline std::string expectedName() {
    const std::string cn = "qmx OPCUA installer";
    return std::string("\x30\x1e\x31\x1c\x30\x1a\x06\x03\x55\x04\x03\x0c\x13", 13) + cn;
}

// The checks of expectDefaultCertificate on the parsed certificate.
inline void expectDefaultCertificateFields(mbedtls_x509_crt& crt, const mbedtls_pk_context& key,
                                           Der& notBefore, Der& notAfter) {
    {
        // The library's own reading of it.
        EXPECT_EQ(crt.version, 3);
        EXPECT_EQ(crt.sig_md, MBEDTLS_MD_SHA256);
        EXPECT_EQ(crt.sig_pk, MBEDTLS_PK_RSA);
        // This parser reads two of the four extensions; the DER below checks all.
        EXPECT_EQ(crt.ext_types, MBEDTLS_X509_EXT_BASIC_CONSTRAINTS | MBEDTLS_X509_EXT_KEY_USAGE);
        EXPECT_EQ(crt.key_usage, MBEDTLS_X509_KU_DIGITAL_SIGNATURE | MBEDTLS_X509_KU_DATA_ENCIPHERMENT);
        EXPECT_EQ(crt.ca_istrue, 0);
        EXPECT_EQ(mbedtls_pk_check_pair(&crt.pk, &key), 0) << "the certificate's key is not the key file's";

        // Self-signed: the signature over the TBS part verifies with its own key.
        unsigned char hash[32];
        mbedtls_sha256_ret(crt.tbs.p, crt.tbs.len, hash, 0);
        EXPECT_EQ(mbedtls_pk_verify(&crt.pk, MBEDTLS_MD_SHA256, hash, 0, crt.sig.p, crt.sig.len), 0);

        // Our own reading of the DER.
        std::vector<Der> certificate = derChildren(bytesOf(crt.raw.p, crt.raw.len));
        ASSERT_EQ(certificate.size(), 1u);
        std::vector<Der> parts = derChildren(certificate[0].content);
        ASSERT_EQ(parts.size(), 3u);
        const std::string sha256WithRsa("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x0b", 11);
        EXPECT_EQ(parts[1].content.substr(0, sha256WithRsa.size()), sha256WithRsa);
        std::vector<Der> tbs = derChildren(parts[0].content);
        ASSERT_EQ(tbs.size(), 8u);
        EXPECT_EQ(tbs[0].whole, std::string("\xa0\x03\x02\x01\x02", 5)) << "version v3";
        EXPECT_EQ(tbs[1].whole, std::string("\x02\x01\x01", 3)) << "serial number 1";
        EXPECT_EQ(tbs[2].whole, parts[1].whole) << "inner and outer signature algorithm";
        EXPECT_EQ(tbs[3].whole, expectedName()) << "issuer";
        EXPECT_EQ(tbs[5].whole, expectedName()) << "subject";
        std::vector<Der> validity = derChildren(tbs[4].content);
        ASSERT_EQ(validity.size(), 2u);
        notBefore = validity[0];
        notAfter = validity[1];

        std::vector<Der> spki = derChildren(tbs[6].content);
        ASSERT_EQ(spki.size(), 2u);
        ASSERT_EQ(spki[1].tag, 0x03);
        ASSERT_EQ(spki[1].content[0], '\0') << "unused bits of the public key";
        const std::string keyId = sha1Of(spki[1].content.substr(1));  // over the RSAPublicKey

        ASSERT_EQ(tbs[7].tag, 0xa3);
        std::vector<Der> wrapper = derChildren(tbs[7].content);
        ASSERT_EQ(wrapper.size(), 1u);
        std::vector<Der> extensions = derChildren(wrapper[0].content);
        ASSERT_EQ(extensions.size(), 4u);
        struct Expected {
            const char* name;
            std::string oid;
            bool critical;
            std::string value;
        };
        const Expected expected[] = {
            {"basicConstraints", std::string("\x55\x1d\x13", 3), false, std::string("\x30\x00", 2)},
            {"subjectKeyIdentifier", std::string("\x55\x1d\x0e", 3), false, std::string("\x04\x14", 2) + keyId},
            {"authorityKeyIdentifier", std::string("\x55\x1d\x23", 3), false,
             std::string("\x30\x16\x80\x14", 4) + keyId},
            {"keyUsage", std::string("\x55\x1d\x0f", 3), true, std::string("\x03\x02\x04\x90", 4)},
        };
        for (size_t i = 0; i < 4; ++i) {
            std::vector<Der> fields = derChildren(extensions[i].content);
            ASSERT_EQ(fields.size(), expected[i].critical ? 3u : 2u) << expected[i].name;
            EXPECT_EQ(fields[0].tag, 0x06) << expected[i].name;
            EXPECT_EQ(fields[0].content, expected[i].oid) << "extension " << i + 1 << ", " << expected[i].name;
            if (expected[i].critical) {
                EXPECT_EQ(fields[1].whole, std::string("\x01\x01\xff", 3)) << expected[i].name;
            }
            EXPECT_EQ(fields.back().tag, 0x04) << expected[i].name;
            EXPECT_EQ(fields.back().content, expected[i].value) << expected[i].name;
        }
    }
}

// The default certificate in `file`, checked field by field against the key
// that must have made it: everything but the validity, which the caller
// checks (notBefore and notAfter are returned as DER elements).
inline void expectDefaultCertificate(const std::string& file, const mbedtls_pk_context& key, Der& notBefore,
                                     Der& notAfter) {
    expectPemFile(file, "CERTIFICATE");
    mbedtls_x509_crt crt;
    mbedtls_x509_crt_init(&crt);
    int parsed = parseCertificate(crt, file);
    EXPECT_EQ(parsed, 0);
    if (parsed == 0) expectDefaultCertificateFields(crt, key, notBefore, notAfter);
    mbedtls_x509_crt_free(&crt);
}
