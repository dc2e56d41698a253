#include "mbedtls_spy.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/pk.h>
#include <mbedtls/x509_crt.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

// The real functions, reached through the linker's --wrap.
extern "C" {
void __real_mbedtls_pk_init(mbedtls_pk_context* ctx);
int __real_mbedtls_pk_setup(mbedtls_pk_context* ctx, const mbedtls_pk_info_t* info);
int __real_mbedtls_pk_write_key_pem(mbedtls_pk_context* ctx, unsigned char* buf, size_t size);
void __real_mbedtls_pk_free(mbedtls_pk_context* ctx);
void __real_mbedtls_ctr_drbg_init(mbedtls_ctr_drbg_context* ctx);
int __real_mbedtls_ctr_drbg_seed(mbedtls_ctr_drbg_context* ctx, int (*f_entropy)(void*, unsigned char*, size_t),
                                 void* p_entropy, const unsigned char* custom, size_t len);
void __real_mbedtls_ctr_drbg_free(mbedtls_ctr_drbg_context* ctx);
void __real_mbedtls_entropy_init(mbedtls_entropy_context* ctx);
void __real_mbedtls_entropy_free(mbedtls_entropy_context* ctx);
int __real_mbedtls_rsa_gen_key(mbedtls_rsa_context* ctx, int (*f_rng)(void*, unsigned char*, size_t), void* p_rng,
                               unsigned int nbits, int exponent);
void __real_mbedtls_mpi_init(mbedtls_mpi* X);
int __real_mbedtls_mpi_read_string(mbedtls_mpi* X, int radix, const char* s);
void __real_mbedtls_mpi_free(mbedtls_mpi* X);
void __real_mbedtls_x509write_crt_init(mbedtls_x509write_cert* ctx);
void __real_mbedtls_x509write_crt_free(mbedtls_x509write_cert* ctx);
void __real_mbedtls_x509write_crt_set_subject_key(mbedtls_x509write_cert* ctx, mbedtls_pk_context* key);
void __real_mbedtls_x509write_crt_set_issuer_key(mbedtls_x509write_cert* ctx, mbedtls_pk_context* key);
int __real_mbedtls_x509write_crt_set_subject_name(mbedtls_x509write_cert* ctx, const char* name);
int __real_mbedtls_x509write_crt_set_issuer_name(mbedtls_x509write_cert* ctx, const char* name);
void __real_mbedtls_x509write_crt_set_version(mbedtls_x509write_cert* ctx, int version);
void __real_mbedtls_x509write_crt_set_md_alg(mbedtls_x509write_cert* ctx, mbedtls_md_type_t md_alg);
int __real_mbedtls_x509write_crt_set_serial(mbedtls_x509write_cert* ctx, const mbedtls_mpi* serial);
int __real_mbedtls_x509write_crt_set_validity(mbedtls_x509write_cert* ctx, const char* not_before,
                                              const char* not_after);
int __real_mbedtls_x509write_crt_set_basic_constraints(mbedtls_x509write_cert* ctx, int is_ca, int max_pathlen);
int __real_mbedtls_x509write_crt_set_subject_key_identifier(mbedtls_x509write_cert* ctx);
int __real_mbedtls_x509write_crt_set_authority_key_identifier(mbedtls_x509write_cert* ctx);
int __real_mbedtls_x509write_crt_set_key_usage(mbedtls_x509write_cert* ctx, unsigned int key_usage);
int __real_mbedtls_x509write_crt_pem(mbedtls_x509write_cert* ctx, unsigned char* buf, size_t size,
                                     int (*f_rng)(void*, unsigned char*, size_t), void* p_rng);
}

namespace spy {
namespace {

struct Failure {
    std::string name;
    int status;
    unsigned nth;
};

struct State {
    std::vector<std::string> lines;
    std::vector<Failure> failures;
    std::map<std::string, unsigned> calls;
    std::map<const void*, std::string> names;  // every named context
    std::map<const void*, bool> live;          // initialised by the code under test, not freed
    std::map<std::string, unsigned> numbers;   // per kind
    const mbedtls_rsa_context* substitute = nullptr;
};

State& state() {
    static State s;
    return s;
}

// Counts the call and says whether a scripted failure applies to it.
bool scripted(const char* name, int& status) {
    unsigned n = ++state().calls[name];
    for (const Failure& f : state().failures) {
        if (f.name == name && f.nth == n) {
            status = f.status;
            return true;
        }
    }
    return false;
}

void record(const std::string& line) { state().lines.push_back(line); }

std::string nameOf(const void* context) {
    auto it = state().names.find(context);
    return it == state().names.end() ? "?" : it->second;
}

std::string born(const void* context, const char* kind) {
    std::string name = kind + std::to_string(++state().numbers[kind]);
    state().names[context] = name;
    state().live[context] = true;
    return name;
}

std::string died(const void* context) {
    std::string name = nameOf(context);
    state().live.erase(context);
    state().names.erase(context);
    return name;
}

std::string quoted(const char* text, size_t length) { return "\"" + std::string(text, length) + "\""; }
std::string quoted(const char* text) { return text ? quoted(text, std::strlen(text)) : "null"; }

std::string entropyFunction(int (*f)(void*, unsigned char*, size_t)) {
    return f == mbedtls_entropy_func ? "entropy_func" : "?";
}
std::string randomFunction(int (*f)(void*, unsigned char*, size_t)) {
    return f == mbedtls_ctr_drbg_random ? "ctr_drbg_random" : "?";
}

std::string bufferState(const unsigned char* buffer, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (buffer[i] != 0) return "dirty buffer";
    }
    return "zeroed buffer";
}

// The RSA context of a key container is named after the container.
std::string rsaName(const mbedtls_rsa_context* rsa) {
    for (const auto& entry : state().names) {
        const auto* pk = static_cast<const mbedtls_pk_context*>(entry.first);
        if (entry.second.rfind("pk", 0) == 0 && pk->pk_ctx == rsa) return "rsa of " + entry.second;
    }
    return "?";
}

}  // namespace

void reset() { state() = State{}; }

std::string log() {
    std::string out;
    for (const std::string& line : state().lines) out += line + "\n";
    return out;
}

void failCall(const char* name, int status, unsigned nth) { state().failures.push_back(Failure{name, status, nth}); }

unsigned callCount(const char* name) {
    auto it = state().calls.find(name);
    return it == state().calls.end() ? 0 : it->second;
}

std::string liveContexts() {
    std::string out;
    for (const auto& entry : state().live) out += (out.empty() ? "" : " ") + nameOf(entry.first);
    return out;
}

void adopt(const void* context, const char* name) { state().names[context] = name; }

void substituteKey(const mbedtls_rsa_context* key) { state().substitute = key; }

}  // namespace spy

using spy::nameOf;
using spy::quoted;
using spy::record;
using spy::scripted;

extern "C" {

void __wrap_mbedtls_pk_init(mbedtls_pk_context* ctx) {
    __real_mbedtls_pk_init(ctx);
    record("pk_init(" + spy::born(ctx, "pk") + ")");
}

int __wrap_mbedtls_pk_setup(mbedtls_pk_context* ctx, const mbedtls_pk_info_t* info) {
    bool rsa = info == mbedtls_pk_info_from_type(MBEDTLS_PK_RSA);
    record("pk_setup(" + nameOf(ctx) + ", " + (rsa ? "RSA" : "?") + ")");
    int status = 0;
    if (scripted("pk_setup", status)) return status;
    return __real_mbedtls_pk_setup(ctx, info);
}

int __wrap_mbedtls_pk_write_key_pem(mbedtls_pk_context* ctx, unsigned char* buf, size_t size) {
    record("pk_write_key_pem(" + nameOf(ctx) + ", " + spy::bufferState(buf, size) + ", " + std::to_string(size) +
           ")");
    int status = 0;
    if (scripted("pk_write_key_pem", status)) return status;
    return __real_mbedtls_pk_write_key_pem(ctx, buf, size);
}

void __wrap_mbedtls_pk_free(mbedtls_pk_context* ctx) {
    record("pk_free(" + spy::died(ctx) + ")");
    __real_mbedtls_pk_free(ctx);
}

void __wrap_mbedtls_ctr_drbg_init(mbedtls_ctr_drbg_context* ctx) {
    __real_mbedtls_ctr_drbg_init(ctx);
    record("ctr_drbg_init(" + spy::born(ctx, "drbg") + ")");
}

int __wrap_mbedtls_ctr_drbg_seed(mbedtls_ctr_drbg_context* ctx, int (*f_entropy)(void*, unsigned char*, size_t),
                                 void* p_entropy, const unsigned char* custom, size_t len) {
    record("ctr_drbg_seed(" + nameOf(ctx) + ", " + spy::entropyFunction(f_entropy) + ", " + nameOf(p_entropy) +
           ", " + quoted(reinterpret_cast<const char*>(custom), len) + ", " + std::to_string(len) + ")");
    int status = 0;
    if (scripted("ctr_drbg_seed", status)) return status;
    return __real_mbedtls_ctr_drbg_seed(ctx, f_entropy, p_entropy, custom, len);
}

void __wrap_mbedtls_ctr_drbg_free(mbedtls_ctr_drbg_context* ctx) {
    record("ctr_drbg_free(" + spy::died(ctx) + ")");
    __real_mbedtls_ctr_drbg_free(ctx);
}

void __wrap_mbedtls_entropy_init(mbedtls_entropy_context* ctx) {
    __real_mbedtls_entropy_init(ctx);
    record("entropy_init(" + spy::born(ctx, "entropy") + ")");
}

void __wrap_mbedtls_entropy_free(mbedtls_entropy_context* ctx) {
    record("entropy_free(" + spy::died(ctx) + ")");
    __real_mbedtls_entropy_free(ctx);
}

int __wrap_mbedtls_rsa_gen_key(mbedtls_rsa_context* ctx, int (*f_rng)(void*, unsigned char*, size_t), void* p_rng,
                               unsigned int nbits, int exponent) {
    record("rsa_gen_key(" + spy::rsaName(ctx) + ", " + spy::randomFunction(f_rng) + ", " + nameOf(p_rng) + ", " +
           std::to_string(nbits) + ", " + std::to_string(exponent) + ")");
    int status = 0;
    if (scripted("rsa_gen_key", status)) return status;
    if (spy::state().substitute) return mbedtls_rsa_copy(ctx, spy::state().substitute);
    return __real_mbedtls_rsa_gen_key(ctx, f_rng, p_rng, nbits, exponent);
}

void __wrap_mbedtls_mpi_init(mbedtls_mpi* X) {
    __real_mbedtls_mpi_init(X);
    record("mpi_init(" + spy::born(X, "mpi") + ")");
}

int __wrap_mbedtls_mpi_read_string(mbedtls_mpi* X, int radix, const char* s) {
    record("mpi_read_string(" + nameOf(X) + ", " + std::to_string(radix) + ", " + quoted(s) + ")");
    int status = 0;
    if (scripted("mpi_read_string", status)) return status;
    return __real_mbedtls_mpi_read_string(X, radix, s);
}

void __wrap_mbedtls_mpi_free(mbedtls_mpi* X) {
    record("mpi_free(" + spy::died(X) + ")");
    __real_mbedtls_mpi_free(X);
}

void __wrap_mbedtls_x509write_crt_init(mbedtls_x509write_cert* ctx) {
    __real_mbedtls_x509write_crt_init(ctx);
    record("x509write_crt_init(" + spy::born(ctx, "crt") + ")");
}

void __wrap_mbedtls_x509write_crt_free(mbedtls_x509write_cert* ctx) {
    record("x509write_crt_free(" + spy::died(ctx) + ")");
    __real_mbedtls_x509write_crt_free(ctx);
}

void __wrap_mbedtls_x509write_crt_set_subject_key(mbedtls_x509write_cert* ctx, mbedtls_pk_context* key) {
    record("x509write_crt_set_subject_key(" + nameOf(ctx) + ", " + nameOf(key) + ")");
    __real_mbedtls_x509write_crt_set_subject_key(ctx, key);
}

void __wrap_mbedtls_x509write_crt_set_issuer_key(mbedtls_x509write_cert* ctx, mbedtls_pk_context* key) {
    record("x509write_crt_set_issuer_key(" + nameOf(ctx) + ", " + nameOf(key) + ")");
    __real_mbedtls_x509write_crt_set_issuer_key(ctx, key);
}

int __wrap_mbedtls_x509write_crt_set_subject_name(mbedtls_x509write_cert* ctx, const char* name) {
    record("x509write_crt_set_subject_name(" + nameOf(ctx) + ", " + quoted(name) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_subject_name", status)) return status;
    return __real_mbedtls_x509write_crt_set_subject_name(ctx, name);
}

int __wrap_mbedtls_x509write_crt_set_issuer_name(mbedtls_x509write_cert* ctx, const char* name) {
    record("x509write_crt_set_issuer_name(" + nameOf(ctx) + ", " + quoted(name) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_issuer_name", status)) return status;
    return __real_mbedtls_x509write_crt_set_issuer_name(ctx, name);
}

void __wrap_mbedtls_x509write_crt_set_version(mbedtls_x509write_cert* ctx, int version) {
    record("x509write_crt_set_version(" + nameOf(ctx) + ", " + std::to_string(version) + ")");
    __real_mbedtls_x509write_crt_set_version(ctx, version);
}

void __wrap_mbedtls_x509write_crt_set_md_alg(mbedtls_x509write_cert* ctx, mbedtls_md_type_t md_alg) {
    record("x509write_crt_set_md_alg(" + nameOf(ctx) + ", " + std::to_string(static_cast<int>(md_alg)) + ")");
    __real_mbedtls_x509write_crt_set_md_alg(ctx, md_alg);
}

int __wrap_mbedtls_x509write_crt_set_serial(mbedtls_x509write_cert* ctx, const mbedtls_mpi* serial) {
    record("x509write_crt_set_serial(" + nameOf(ctx) + ", " + nameOf(serial) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_serial", status)) return status;
    return __real_mbedtls_x509write_crt_set_serial(ctx, serial);
}

int __wrap_mbedtls_x509write_crt_set_validity(mbedtls_x509write_cert* ctx, const char* not_before,
                                              const char* not_after) {
    record("x509write_crt_set_validity(" + nameOf(ctx) + ", " + quoted(not_before) + ", " + quoted(not_after) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_validity", status)) return status;
    return __real_mbedtls_x509write_crt_set_validity(ctx, not_before, not_after);
}

int __wrap_mbedtls_x509write_crt_set_basic_constraints(mbedtls_x509write_cert* ctx, int is_ca, int max_pathlen) {
    record("x509write_crt_set_basic_constraints(" + nameOf(ctx) + ", " + std::to_string(is_ca) + ", " +
           std::to_string(max_pathlen) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_basic_constraints", status)) return status;
    return __real_mbedtls_x509write_crt_set_basic_constraints(ctx, is_ca, max_pathlen);
}

int __wrap_mbedtls_x509write_crt_set_subject_key_identifier(mbedtls_x509write_cert* ctx) {
    record("x509write_crt_set_subject_key_identifier(" + nameOf(ctx) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_subject_key_identifier", status)) return status;
    return __real_mbedtls_x509write_crt_set_subject_key_identifier(ctx);
}

int __wrap_mbedtls_x509write_crt_set_authority_key_identifier(mbedtls_x509write_cert* ctx) {
    record("x509write_crt_set_authority_key_identifier(" + nameOf(ctx) + ")");
    int status = 0;
    if (scripted("x509write_crt_set_authority_key_identifier", status)) return status;
    return __real_mbedtls_x509write_crt_set_authority_key_identifier(ctx);
}

int __wrap_mbedtls_x509write_crt_set_key_usage(mbedtls_x509write_cert* ctx, unsigned int key_usage) {
    char usage[16];
    std::snprintf(usage, sizeof usage, "0x%02x", key_usage);
    record("x509write_crt_set_key_usage(" + nameOf(ctx) + ", " + usage + ")");
    int status = 0;
    if (scripted("x509write_crt_set_key_usage", status)) return status;
    return __real_mbedtls_x509write_crt_set_key_usage(ctx, key_usage);
}

int __wrap_mbedtls_x509write_crt_pem(mbedtls_x509write_cert* ctx, unsigned char* buf, size_t size,
                                     int (*f_rng)(void*, unsigned char*, size_t), void* p_rng) {
    record("x509write_crt_pem(" + nameOf(ctx) + ", " + spy::bufferState(buf, size) + ", " + std::to_string(size) +
           ", " + spy::randomFunction(f_rng) + ", " + nameOf(p_rng) + ")");
    int status = 0;
    if (scripted("x509write_crt_pem", status)) return status;
    return __real_mbedtls_x509write_crt_pem(ctx, buf, size, f_rng, p_rng);
}

}  // extern "C"
