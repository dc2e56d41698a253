// The payloads embedded in the installer, in the order every per-payload
// step handles them.
#pragma once

#include <cstddef>
#include <cstdint>

// Resource type of the compressed payloads.
constexpr uint16_t PAYLOAD_RESOURCE_TYPE = 1001;

struct PayloadEntry {
    uint16_t resourceId;
    const char* fileName;  // relative to the destination folder
    uint32_t crtVariant;   // 0: every platform
};

constexpr size_t kPayloadCount = 2;
extern const PayloadEntry kPayloadCatalogue[kPayloadCount];

// The server executable, the one registered with the firewall.
constexpr size_t kServerPayload = 1;
