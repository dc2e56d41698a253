#include "services/service_control.h"

#include "app/console.h"
#include "platform/os.h"

namespace {

// A wait that ended without the wanted state.
constexpr DWORD kWaitFailed = ERROR_UNIDENTIFIED_ERROR;
constexpr DWORD kStopTimeoutMs = 30000;
constexpr DWORD kStartPauseMinMs = 1000;
constexpr DWORD kStartPauseMaxMs = 10000;

// Sends STOP and polls until the service reports stopped. Each pause is the
// service's wait hint, but never longer than what is left of the 30 s: a
// service that reports a hint of hours must not hold an unattended run for
// hours.
DWORD stopAndWait(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!os::ControlService(service, SERVICE_CONTROL_STOP, &status)) return os::GetLastError();
    DWORD start = os::GetTickCount();
    if (status.dwCurrentState == SERVICE_STOPPED) return 0;
    for (;;) {
        DWORD elapsed = os::GetTickCount() - start;
        DWORD left = elapsed < kStopTimeoutMs ? kStopTimeoutMs - elapsed : 0;
        os::Sleep(status.dwWaitHint < left ? status.dwWaitHint : left);
        if (!os::QueryServiceStatus(service, &status)) return os::GetLastError();
        if (status.dwCurrentState == SERVICE_STOPPED) return 0;
        if (os::GetTickCount() - start > kStopTimeoutMs) return kWaitFailed;
    }
}

// Starts the service and polls while it is start pending, a tenth of its wait
// hint at a time (1 to 10 s). Every rise of the checkpoint is progress and
// restarts the clock; no progress for longer than the hint ends the wait.
DWORD startAndWait(SC_HANDLE service) {
    if (!os::StartServiceW(service, 0, nullptr)) return os::GetLastError();
    SERVICE_STATUS status{};
    if (!os::QueryServiceStatus(service, &status)) return os::GetLastError();
    DWORD start = os::GetTickCount();
    DWORD lastCheckPoint = status.dwCheckPoint;
    DWORD state = status.dwCurrentState;
    while (state == SERVICE_START_PENDING) {
        DWORD pause = status.dwWaitHint / 10;
        if (pause < kStartPauseMinMs) pause = kStartPauseMinMs;
        if (pause > kStartPauseMaxMs) pause = kStartPauseMaxMs;
        os::Sleep(pause);
        if (!os::QueryServiceStatus(service, &status)) return os::GetLastError();
        state = status.dwCurrentState;
        if (status.dwCheckPoint > lastCheckPoint) {
            start = os::GetTickCount();
            lastCheckPoint = status.dwCheckPoint;
        } else if (os::GetTickCount() - start > status.dwWaitHint) {
            break;
        }
    }
    return state == SERVICE_RUNNING ? 0 : kWaitFailed;
}

struct ServiceOperation {
    const char* header;
    DWORD access;
    DWORD (*requestAndWait)(SC_HANDLE service);
};

const ServiceOperation kStop = {"Will stop services...\n", SERVICE_STOP | SERVICE_QUERY_STATUS, stopAndWait};
const ServiceOperation kStart = {"Will start services...\n", SERVICE_START | SERVICE_QUERY_STATUS, startAndWait};

// One connection to the manager per service, closed with it.
DWORD controlOne(const char* serviceName, const ServiceOperation& operation) {
    SC_HANDLE manager = os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return os::GetLastError();
    DWORD code = 0;
    SC_HANDLE service = os::OpenServiceA(manager, serviceName, operation.access);
    if (!service) {
        code = os::GetLastError();
    } else {
        code = operation.requestAndWait(service);
        os::CloseServiceHandle(service);
    }
    os::CloseServiceHandle(manager);
    return code;
}

// The shared frame: the services recorded as running at discovery, whether
// or not an earlier request on them succeeded.
bool controlRunningServices(const InstallContext& context, const ServiceOperation& operation) {
    const ServiceList& list = context.services;
    bool any = false;
    for (uint64_t i = 0; i < list.count && !any; ++i) any = list.entries[i].state == kServiceRunning;
    if (!any) return true;

    printInfo("%s", operation.header);
    for (uint64_t i = 0; i < list.count; ++i) {
        const ServiceEntry& entry = list.entries[i];
        if (entry.state != kServiceRunning) continue;
        printInfo("  service \"%s\"... ", entry.serviceName);
        DWORD code = controlOne(entry.serviceName, operation);
        if (code == 0) {
            printInfo("ok\n");
        } else {
            printWarning("failed: 0x%08lx. Will attempt to continue...\n", static_cast<unsigned long>(code));
        }
    }
    return true;
}

}  // namespace

bool stopServices(InstallContext& context) { return controlRunningServices(context, kStop); }

bool startServices(InstallContext& context) { return controlRunningServices(context, kStart); }
