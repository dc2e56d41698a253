// The simulated processes: ids in enumeration order, each with the full path
// of its executable image, some of them closed to inspection.
#pragma once

#include <string>

#include "platform/sim/sim_os.h"

namespace sim {

enum class ProcessKind {
    Ordinary,
    Protected,       // every OpenProcess fails with ERROR_ACCESS_DENIED
    NoImage,         // opens, but its image path cannot be read (ERROR_PARTIAL_COPY)
    ExitsAfterScan,  // exits once its image path has been read
};

// A machine starts with the idle process (id 0, which cannot be opened), the
// protected System process (id 4) and the installer itself (kInstallerId).
constexpr DWORD kInstallerId = 4242;
extern const char kInstallerImage[];

// Adds a running process at the end of the enumeration order.
void addProcess(DWORD id, const std::string& imagePath, ProcessKind kind = ProcessKind::Ordinary);
bool processRunning(DWORD id);
// The ids terminated by the program, in order: "1200,1208".
std::string terminatedProcesses();
// The buffer size in bytes of each K32EnumProcesses call: "1024,2048".
std::string processEnumSizes();

}  // namespace sim
