// The default instance's RSA key: 2048 bits, public exponent 65537.
#pragma once

#include <mbedtls/pk.h>

constexpr unsigned int kDefaultKeyBits = 2048;
constexpr int kDefaultKeyExponent = 65537;

// Sets up `key` (initialised by the caller, who frees it on every path) for
// RSA and generates a fresh key pair in it, with a random generator of its own
// seeded from the library's default entropy sources. Returns 0 or the
// library's negative status.
int generateDefaultKey(mbedtls_pk_context* key);
