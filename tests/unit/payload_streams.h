// Payload resources for the simulated module: zlib streams made with the same
// library and level as the build's payload compressor, and bytes to fill them.
#pragma once

#include <miniz.h>

#include <cstdint>
#include <string>

#include "payload/catalogue.h"
#include "platform/sim/resources.h"

inline std::string zlibStream(const std::string& bytes, int level = MZ_BEST_SPEED) {
    mz_ulong length = mz_compressBound(static_cast<mz_ulong>(bytes.size()));
    std::string out(length, '\0');
    int status = mz_compress2(reinterpret_cast<unsigned char*>(&out[0]), &length,
                              reinterpret_cast<const unsigned char*>(bytes.data()),
                              static_cast<mz_ulong>(bytes.size()), level);
    if (status != MZ_OK) return std::string();
    out.resize(length);
    return out;
}

// Bytes that do not compress, so a stream's length follows the file's.
inline std::string noise(size_t size, uint32_t seed = 0x9e3779b9u) {
    std::string out(size, '\0');
    uint32_t x = seed;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

inline void setPayloadResource(WORD id, const std::string& stream) {
    sim::setResource(PAYLOAD_RESOURCE_TYPE, id, stream);
}
