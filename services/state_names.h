// Display texts of the service manager's state numbers.
#pragma once

#include <cstdint>

// "stopped", "running", ... for 1 to 7; "unknown" for any other number.
const char* serviceStateName(uint32_t state);
