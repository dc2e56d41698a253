// The simulated Service Control Manager: services with key name, display name,
// configured command line, type and state, enumerated in the order they were
// added, and scripted replies to stop and start requests over simulated time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_os.h"

namespace sim {

// One status a service reports from `atMs` after a stop or start request
// on, until the next phase of its script begins.
struct ServicePhase {
    uint64_t atMs;
    DWORD state;
    DWORD checkPoint;
    DWORD waitHint;
};

// A service of the machine. Services are enumerated in the order they were
// added; key names compare without regard to case.
void addService(const std::string& name, const std::string& displayName, const std::string& commandLine,
                DWORD state, DWORD type = SERVICE_WIN32_OWN_PROCESS);
// Removes the service: it is no longer enumerated and cannot be opened (1060).
void deleteService(const std::string& name);

// What the service reports after ControlService(STOP), phase by phase; the
// first phase (at 0) is the status the request returns. Without a script a
// stop ends in SERVICE_STOPPED at once.
void scriptStop(const std::string& name, const std::vector<ServicePhase>& phases);
// The same after StartServiceW; the first phase is what the first query
// reports. Without a script the service runs at once.
void scriptStart(const std::string& name, const std::vector<ServicePhase>& phases);
// The request fails with `code` (0: accepted again).
void refuseStop(const std::string& name, DWORD code);
void refuseStart(const std::string& name, DWORD code);

// Opening the manager with any access outside `allowed` fails with
// ERROR_ACCESS_DENIED, as for a user without administrator rights. Opening
// the service with any access in `denied` fails the same way.
void limitManagerAccess(DWORD allowed);
void denyServiceAccess(const std::string& name, DWORD denied);

// Every status query takes this long in simulated time (1 ms at reset), as a
// call to the manager does; it keeps a poll without pause from spinning on a
// clock that never moves.
void setStatusQueryCost(uint64_t ms);

// The service's state now (0 for an unknown or deleted service).
DWORD serviceState(const std::string& name);
// Stop and start requests the manager accepted, in order: "stop qmx,start qmx".
std::string serviceRequests();

}  // namespace sim
