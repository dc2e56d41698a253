// The simulated COM runtime as tests script and inspect it: the calling
// thread's apartment and the BSTRs the program holds.
#pragma once

#include <string>

#include "platform/sim/sim_types.h"

namespace sim {

// The thread was already a COM apartment before the program ran (made so by
// its host) with these CoInitializeEx flags: a later initialisation in the
// same threading model gives S_FALSE, in the other one RPC_E_CHANGED_MODE.
// After reset the thread is in no apartment, so the first one gives S_OK.
void setThreadApartment(DWORD flags);

// The program's own initialisations still open: successful CoInitializeEx
// calls minus CoUninitialize calls. leaks() reports any left open.
int comInitDepth();
// The flags of every CoInitializeEx call, "0x6" style, comma-separated.
std::string comInitCalls();

// BSTRs allocated and not yet freed.
unsigned liveBstrs();

}  // namespace sim
