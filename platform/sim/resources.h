// The simulated module's resources: the program's own image holds whatever a
// test puts here, found by integer type and id (the language is not part of
// the look-up). A machine starts with none.
#pragma once

#include <cstddef>
#include <string>

#include "platform/sim/sim_types.h"

namespace sim {

// The resource's bytes are a copy of `bytes`.
void setResource(WORD type, WORD id, const std::string& bytes);
// The resource's bytes are read in place from `data`, which must outlive the
// test, as a loaded image does (for large payloads that must not be copied).
void setResourceInPlace(WORD type, WORD id, const void* data, size_t size);
void removeResource(WORD type, WORD id);

// The module handle GetModuleHandleW(nullptr) gives.
HMODULE ownModule();

}  // namespace sim
