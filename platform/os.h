// The only door from the product's logic to the platform. The logic calls
// os::Name(...) with the Win32 or C-runtime name and meaning; this header picks
// the binding: the real calls on Windows, the simulated machine everywhere else.
#pragma once

#if defined(_WIN32)
#include "platform/win32/win32_os.h"
#else
#include "platform/sim/sim_os.h"
#endif
