// Shared between the simulated devices only; neither tests nor the product's
// logic include it.
#pragma once

#include "platform/sim/sim_types.h"

namespace os {
// A C-runtime stream of the simulated machine: standard output, or a file
// opened by os::fopen (its object lives in files.cpp).
struct FILE {
    int kind;      // 1 standard output, 2 a file
    void* object;  // the file stream's state, for kind 2
};
}  // namespace os

namespace sim {
namespace detail {
void recordSleep(DWORD ms);
int flushFileStream(os::FILE* stream);
}  // namespace detail
}  // namespace sim
