// Inflation of one embedded payload into one file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

// The output buffer: the inflated file is written in blocks of this size.
constexpr size_t kExtractBlockSize = 524288;

// Inflates the zlib stream of resource `resourceId` (type
// PAYLOAD_RESOURCE_TYPE) into `installedFile`, created anew. Returns 0, or
// ERROR_FILE_CORRUPT for every failure of the inflation itself, or the
// GetLastError code of the platform call that failed: a missing resource
// leaves the target untouched, ERROR_SHARING_VIOLATION means another process
// holds it. When the output buffer cannot be allocated the result is
// ERROR_NOT_ENOUGH_MEMORY, after the target has been truncated and with
// nothing written to it.
DWORD extractResource(uint16_t resourceId, const char* installedFile);
