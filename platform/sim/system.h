// The simulated system: environment variables, ntdll.dll's file version, the
// UTC clock, and what the loader was told.
#pragma once

#include <string>

#include "platform/sim/sim_types.h"

namespace sim {

// Environment variables; names compare without regard to case, as on Windows.
void setEnv(const std::string& name, const std::string& value);
void unsetEnv(const std::string& name);

// ntdll.dll's file version as its version resource reports it. A machine
// starts with 10.0.19041.3636; noNtdllVersion() makes the resource unreadable.
void setNtdllVersion(WORD major, WORD minor, WORD build, WORD revision);
void noNtdllVersion();

// What GetSystemTime reports (the simulated clock's milliseconds do not move it).
void setSystemTime(const SYSTEMTIME& utc);

// The flags of every SetDefaultDllDirectories call, "0x800" style, in order,
// and the number of simulated calls made before the first of them.
std::string dllDirectoryCalls();
unsigned callsBeforeDllDirectories();

}  // namespace sim
