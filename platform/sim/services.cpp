#include "platform/sim/services.h"

#include <cctype>
#include <cstring>
#include <list>

#include "platform/sim/machine.h"

namespace sim {
namespace {

struct Service {
    std::string name;
    std::string displayName;
    std::string commandLine;
    DWORD type;
    DWORD restingState;  // the state while no script runs
    std::vector<ServicePhase> stopScript;
    std::vector<ServicePhase> startScript;
    DWORD stopRefusal = 0;
    DWORD startRefusal = 0;
    DWORD deniedAccess = 0;
    bool deleted = false;
    std::vector<ServicePhase> running;  // the script of the last request
    uint64_t requestedAt = 0;
};

// What a handle of the manager stands for: the manager itself (service -1)
// or one service, with the access it was opened with.
struct ScObject {
    int service;
    DWORD access;
};

struct Manager {
    std::vector<Service> services;
    std::list<ScObject> objects;  // every open handle's object
    DWORD allowedManagerAccess = SC_MANAGER_ALL_ACCESS;
    uint64_t queryCost = 1;
    std::string requests;
};

Manager& scm() {
    static Manager m;
    return m;
}

std::string upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

int findService(const std::string& name) {
    std::string key = upper(name);
    for (size_t i = 0; i < scm().services.size(); ++i) {
        if (!scm().services[i].deleted && upper(scm().services[i].name) == key) return static_cast<int>(i);
    }
    return -1;
}

Service* serviceNamed(const std::string& name) {
    int i = findService(name);
    return i < 0 ? nullptr : &scm().services[static_cast<size_t>(i)];
}

// The status as of now: the phase of the running script that has begun last,
// or the resting state.
SERVICE_STATUS statusOf(const Service& s) {
    SERVICE_STATUS status{};
    status.dwServiceType = s.type;
    status.dwCurrentState = s.restingState;
    uint64_t elapsed = now() - s.requestedAt;
    for (const ServicePhase& p : s.running) {
        if (p.atMs > elapsed) break;
        status.dwCurrentState = p.state;
        status.dwCheckPoint = p.checkPoint;
        status.dwWaitHint = p.waitHint;
    }
    status.dwControlsAccepted = status.dwCurrentState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    return status;
}

void beginScript(Service& s, const std::vector<ServicePhase>& script) {
    s.restingState = statusOf(s).dwCurrentState;
    s.running = script;
    s.requestedAt = now();
}

void resetManager() { scm() = Manager{}; }

std::string managerLeaks() {
    std::string out;
    for (const ScObject& o : scm().objects) {
        char line[160];
        if (o.service < 0) {
            std::snprintf(line, sizeof line, "service manager: open manager handle (access %#x)\n",
                          static_cast<unsigned>(o.access));
        } else {
            std::snprintf(line, sizeof line, "service manager: open handle of service \"%s\" (access %#x)\n",
                          scm().services[static_cast<size_t>(o.service)].name.c_str(),
                          static_cast<unsigned>(o.access));
        }
        out += line;
    }
    return out;
}

bool registered = registerDevice(Device{"services", resetManager, managerLeaks});

void closeObject(void* object) {
    auto& list = scm().objects;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (&*it == object) {
            list.erase(it);
            return;
        }
    }
}

SC_HANDLE newHandle(int service, DWORD access) {
    scm().objects.push_back(ScObject{service, access});
    return reinterpret_cast<SC_HANDLE>(openHandle("SC_HANDLE", &scm().objects.back(), closeObject));
}

ScObject* objectOf(SC_HANDLE handle) {
    return static_cast<ScObject*>(handleObject(reinterpret_cast<HANDLE>(handle), "SC_HANDLE"));
}

// The service behind a service handle opened with `access`; null with the
// last error set otherwise.
Service* serviceFor(SC_HANDLE handle, DWORD access) {
    ScObject* o = objectOf(handle);
    if (!o || o->service < 0) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((o->access & access) != access) {
        setLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return &scm().services[static_cast<size_t>(o->service)];
}

bool typeMatches(const Service& s, DWORD type) { return (s.type & type) != 0; }

bool stateMatches(const Service& s, DWORD filter) {
    bool stopped = statusOf(s).dwCurrentState == SERVICE_STOPPED;
    return (filter & (stopped ? SERVICE_INACTIVE : SERVICE_ACTIVE)) != 0;
}

size_t recordBytes(const Service& s) {
    return sizeof(ENUM_SERVICE_STATUSA) + s.name.size() + 1 + s.displayName.size() + 1;
}

}  // namespace

void addService(const std::string& name, const std::string& displayName, const std::string& commandLine, DWORD state,
                DWORD type) {
    Service s;
    s.name = name;
    s.displayName = displayName;
    s.commandLine = commandLine;
    s.type = type;
    s.restingState = state;
    scm().services.push_back(s);
}

void deleteService(const std::string& name) {
    if (Service* s = serviceNamed(name)) s->deleted = true;
}

void scriptStop(const std::string& name, const std::vector<ServicePhase>& phases) {
    if (Service* s = serviceNamed(name)) s->stopScript = phases;
}

void scriptStart(const std::string& name, const std::vector<ServicePhase>& phases) {
    if (Service* s = serviceNamed(name)) s->startScript = phases;
}

void refuseStop(const std::string& name, DWORD code) {
    if (Service* s = serviceNamed(name)) s->stopRefusal = code;
}

void refuseStart(const std::string& name, DWORD code) {
    if (Service* s = serviceNamed(name)) s->startRefusal = code;
}

void limitManagerAccess(DWORD allowed) { scm().allowedManagerAccess = allowed; }

void denyServiceAccess(const std::string& name, DWORD denied) {
    if (Service* s = serviceNamed(name)) s->deniedAccess = denied;
}

void setStatusQueryCost(uint64_t ms) { scm().queryCost = ms; }

DWORD serviceState(const std::string& name) {
    Service* s = serviceNamed(name);
    return s ? statusOf(*s).dwCurrentState : 0;
}

std::string serviceRequests() { return scm().requests; }

}  // namespace sim

namespace os {

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD access) {
    if (sim::injectedFailure("OpenSCManagerW")) return nullptr;
    if (machineName || databaseName) {  // only the local machine's active database exists here
        sim::setLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (access & ~sim::scm().allowedManagerAccess) {
        sim::setLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return sim::newHandle(-1, access);
}

// Fills the caller's buffer as the platform does: the fixed records from the
// start, their strings packed from the end, as many whole services as fit.
BOOL EnumServicesStatusA(SC_HANDLE manager, DWORD serviceType, DWORD serviceState, LPENUM_SERVICE_STATUSA services,
                         DWORD bufferSize, LPDWORD bytesNeeded, LPDWORD servicesReturned, LPDWORD resumeHandle) {
    if (sim::injectedFailure("EnumServicesStatusA")) return FALSE;  // outputs left as they were
    sim::ScObject* o = sim::objectOf(manager);
    if (!o || o->service >= 0) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(o->access & SC_MANAGER_ENUMERATE_SERVICE)) {
        sim::setLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto& all = sim::scm().services;
    size_t next = resumeHandle ? *resumeHandle : 0;
    char* base = reinterpret_cast<char*>(services);
    size_t fixedEnd = 0;
    size_t stringsStart = bufferSize;
    DWORD count = 0;
    *servicesReturned = 0;
    *bytesNeeded = 0;
    for (; next < all.size(); ++next) {
        const sim::Service& s = all[next];
        if (s.deleted || !sim::typeMatches(s, serviceType) || !sim::stateMatches(s, serviceState)) continue;
        size_t strings = s.name.size() + 1 + s.displayName.size() + 1;
        if (fixedEnd + sizeof(ENUM_SERVICE_STATUSA) + strings > stringsStart) break;
        stringsStart -= strings;
        char* name = base + stringsStart;
        char* display = name + s.name.size() + 1;
        std::memcpy(name, s.name.c_str(), s.name.size() + 1);
        std::memcpy(display, s.displayName.c_str(), s.displayName.size() + 1);
        services[count] = ENUM_SERVICE_STATUSA{name, display, sim::statusOf(s)};
        fixedEnd += sizeof(ENUM_SERVICE_STATUSA);
        ++count;
    }
    *servicesReturned = count;
    if (next == all.size()) {
        if (resumeHandle) *resumeHandle = 0;
        return TRUE;
    }
    size_t needed = 0;
    for (size_t i = next; i < all.size(); ++i) {
        if (!all[i].deleted && sim::typeMatches(all[i], serviceType) && sim::stateMatches(all[i], serviceState)) {
            needed += sim::recordBytes(all[i]);
        }
    }
    *bytesNeeded = static_cast<DWORD>(needed);
    if (resumeHandle) *resumeHandle = static_cast<DWORD>(next);
    sim::setLastError(ERROR_MORE_DATA);
    return FALSE;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) {
    if (sim::injectedFailure("OpenServiceA")) return nullptr;
    sim::ScObject* o = sim::objectOf(manager);
    if (!o || o->service >= 0) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    int index = sim::findService(serviceName ? serviceName : "");
    if (index < 0) {
        sim::setLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (access & sim::scm().services[static_cast<size_t>(index)].deniedAccess) {
        sim::setLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return sim::newHandle(index, access);
}

BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize, LPDWORD bytesNeeded) {
    if (sim::injectedFailure("QueryServiceConfigA")) return FALSE;
    sim::Service* s = sim::serviceFor(service, SERVICE_QUERY_CONFIG);
    if (!s) return FALSE;
    static const char kStartName[] = "LocalSystem";
    // Strings behind the record: command line, load order group, the
    // dependencies' double-NUL list, account, display name.
    size_t strings = s->commandLine.size() + 1 + 1 + 2 + sizeof kStartName + s->displayName.size() + 1;
    size_t needed = sizeof(QUERY_SERVICE_CONFIGA) + strings;
    *bytesNeeded = static_cast<DWORD>(needed);
    if (!config || bufferSize < needed) {
        sim::setLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    char* at = reinterpret_cast<char*>(config) + sizeof(QUERY_SERVICE_CONFIGA);
    auto place = [&at](const char* text, size_t bytes) {
        char* start = at;
        std::memcpy(at, text, bytes);
        at += bytes;
        return start;
    };
    config->dwServiceType = s->type;
    config->dwStartType = SERVICE_DEMAND_START;
    config->dwErrorControl = 1;
    config->dwTagId = 0;
    config->lpBinaryPathName = place(s->commandLine.c_str(), s->commandLine.size() + 1);
    config->lpLoadOrderGroup = place("", 1);
    config->lpDependencies = place("\0", 2);
    config->lpServiceStartName = place(kStartName, sizeof kStartName);
    config->lpDisplayName = place(s->displayName.c_str(), s->displayName.size() + 1);
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    if (sim::injectedFailure("ControlService")) return FALSE;
    sim::Service* s = sim::serviceFor(service, SERVICE_STOP);
    if (!s) return FALSE;
    if (control != SERVICE_CONTROL_STOP) {
        sim::setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD state = sim::statusOf(*s).dwCurrentState;
    if (state == SERVICE_STOPPED) {
        sim::setLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (state == SERVICE_STOP_PENDING || state == SERVICE_START_PENDING) {
        sim::setLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    if (s->stopRefusal) {
        sim::setLastError(s->stopRefusal);
        return FALSE;
    }
    sim::beginScript(*s, s->stopScript.empty() ? std::vector<sim::ServicePhase>{{0, SERVICE_STOPPED, 0, 0}}
                                               : s->stopScript);
    sim::scm().requests += (sim::scm().requests.empty() ? "" : ",") + std::string("stop ") + s->name;
    *status = sim::statusOf(*s);
    return TRUE;
}

BOOL StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments) {
    if (sim::injectedFailure("StartServiceW")) return FALSE;
    sim::Service* s = sim::serviceFor(service, SERVICE_START);
    if (!s) return FALSE;
    if (argumentCount != 0 || arguments) {  // this manager's services take no start arguments
        sim::setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (sim::statusOf(*s).dwCurrentState != SERVICE_STOPPED) {
        sim::setLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    if (s->startRefusal) {
        sim::setLastError(s->startRefusal);
        return FALSE;
    }
    sim::beginScript(*s, s->startScript.empty() ? std::vector<sim::ServicePhase>{{0, SERVICE_RUNNING, 0, 0}}
                                                : s->startScript);
    sim::scm().requests += (sim::scm().requests.empty() ? "" : ",") + std::string("start ") + s->name;
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    if (sim::injectedFailure("QueryServiceStatus")) return FALSE;
    sim::Service* s = sim::serviceFor(service, SERVICE_QUERY_STATUS);
    if (!s) return FALSE;
    *status = sim::statusOf(*s);
    sim::advance(sim::scm().queryCost);
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    bool failed = sim::injectedFailure("CloseServiceHandle");
    if (!sim::objectOf(handle) || !sim::closeHandle(reinterpret_cast<HANDLE>(handle))) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return failed ? FALSE : TRUE;  // the handle is gone even when the call reports failure
}

}  // namespace os
