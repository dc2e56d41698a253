// The simulated Windows machine: its reset, fault injection, clock and
// bookkeeping. Tests script the machine through this header and the device
// headers beside it (console.h, files.h, system.h, ...); the product's logic
// never includes them, it only sees the os:: calls of sim_os.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/sim_types.h"

namespace sim {

// A device is one part of the machine (files, console, services, ...). It
// registers itself once, from a static initialiser in its own file, so that
// reset() gives every device a fresh state and leaks() asks each of them what
// it still holds open.
struct Device {
    const char* name;
    void (*reset)();
    std::string (*leaks)();  // "" when nothing is left open; may be null
};
bool registerDevice(const Device& device);

// A fresh machine: every device reset, the clock at zero, no faults scripted,
// nothing open. The fixture of every unit test calls it first.
void reset();

// Everything still open: handles, heap blocks and whatever the devices report,
// one line each; "" when the machine is clean.
std::string leaks();

// ---- fault injection -------------------------------------------------------
// Make the simulated call `name` fail with `code` (a Win32 error, or an HRESULT
// for COM calls): failOnce on its nth call only, failFrom on its nth call and
// every later one. Calls are counted from the last reset.
void failOnce(const char* name, uint32_t code, unsigned nth = 1);
void failFrom(const char* name, uint32_t code, unsigned nth = 1);
unsigned callCount(const char* name);
// Simulated calls made since the reset, all names together.
unsigned totalCalls();

// Every simulated call begins with one of these. countCall() counts it and says
// whether a scripted fault applies; on a hit, `code` receives the fault's code.
bool countCall(const char* name, uint32_t& code);
// The same for calls that report through GetLastError: on a hit the last error
// is set to the fault's code and true is returned.
bool injectedFailure(const char* name);

// ---- last error --------------------------------------------------------------
void setLastError(DWORD code);
DWORD lastError();

// ---- clock -------------------------------------------------------------------
// Simulated milliseconds since reset. Sleep advances it at once; nothing else
// does, so a test's timeline is exact.
uint64_t now();
void advance(uint64_t ms);
// GetTickCount reads (tickBase + now) modulo 2^32, so a test can start the
// counter just below its wrap.
void setTickBase(uint32_t base);
uint32_t tickCount();
// Total time the program asked to sleep, and the individual pauses in order.
uint64_t totalSlept();
const std::string& sleepLog();  // "1000,1000,5000" style

// ---- bookkeeping -------------------------------------------------------------
// Devices hand out handles through the machine so that one table knows what is
// open. `closer` is called when the handle is closed (may be null).
HANDLE openHandle(const char* kind, void* object, void (*closer)(void* object));
// The object behind a handle of that kind, or null for an unknown, closed or
// wrong-kind handle.
void* handleObject(HANDLE handle, const char* kind);
const char* handleKind(HANDLE handle);
bool closeHandle(HANDLE handle);
unsigned openHandleCount(const char* kind);

// Heap blocks handed to the program, tracked by kind ("malloc", "LocalAlloc").
void* trackedAlloc(const char* kind, size_t size);
void* trackedRealloc(const char* kind, void* block, size_t size);
bool trackedFree(const char* kind, void* block);
unsigned liveBlocks(const char* kind);

}  // namespace sim
