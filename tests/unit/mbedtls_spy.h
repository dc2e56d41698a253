// A witness of the product's calls into mbedTLS, for the certificate tests.
// The linker's --wrap sends every call of the wrapped functions (listed in
// mbedtls_spy.cmake) from the test executable through mbedtls_spy.cpp, which
// logs it with its arguments, can make it fail with a scripted status, and
// keeps count of the contexts initialised and not yet freed. Everything else
// passes through to the real library.
#pragma once

#include <mbedtls/rsa.h>

#include <string>

namespace spy {

// Forgets the log, the scripted failures, the substitute key, the call counts
// and the contexts; the fixture calls it before every test.
void reset();

// One line per call, in order, e.g.
//   ctr_drbg_seed(drbg1, entropy_func, entropy1, "qmx OPCUA installer rsa genkey", 30)
// Contexts are named by kind and a number counted from the reset (pk1, drbg2,
// entropy1, crt1, mpi1); a context initialised before the reset is "?" unless
// adopt() named it.
std::string log();
// The named call (without "mbedtls_") returns `status` on its nth call since
// the reset, without reaching the library.
void failCall(const char* name, int status, unsigned nth = 1);
unsigned callCount(const char* name);
// Contexts initialised and not freed since the reset, "pk1 drbg2" style.
std::string liveContexts();
// Names a context made outside the code under test (not counted as live).
void adopt(const void* context, const char* name);
// rsa_gen_key copies this key instead of searching primes (logged as
// usual); for tests that need some key but not a new one. Null: generate.
void substituteKey(const mbedtls_rsa_context* key);

}  // namespace spy
