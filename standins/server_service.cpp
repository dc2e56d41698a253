#include "server_service.h"

#include <tlhelp32.h>

#include <cstring>
#include <cwchar>

namespace {

// Start pending is reported with this hint, as a slow but healthy service does.
const DWORD kStartHint = 2000;
// Checkpoints rise about this often while a pending phase lasts.
const DWORD kCheckpointStepMs = 500;

const ServerOptions* g_options = nullptr;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status;
HANDLE g_stopEvent = nullptr;
// The handler runs on the dispatcher thread, the pending phases on the
// ServiceMain thread; both report through g_status.
CRITICAL_SECTION g_lock;

void report(DWORD state, DWORD checkPoint, DWORD waitHint, DWORD exitCode) {
    EnterCriticalSection(&g_lock);
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    // STOP is accepted only while running; pending phases accept nothing.
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    g_status.dwWin32ExitCode = exitCode;
    g_status.dwServiceSpecificExitCode = 0;
    g_status.dwCheckPoint = checkPoint;
    g_status.dwWaitHint = waitHint;
    SetServiceStatus(g_statusHandle, &g_status);
    LeaveCriticalSection(&g_lock);
}

// Stays in `state` for `durationMs`, raising the checkpoint after `checkPoint`.
void pendingPhase(DWORD state, DWORD durationMs, DWORD waitHint, DWORD checkPoint) {
    ULONGLONG start = GetTickCount64();
    for (;;) {
        ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= durationMs) {
            return;
        }
        ULONGLONG remaining = durationMs - elapsed;
        Sleep(remaining < kCheckpointStepMs ? static_cast<DWORD>(remaining) : kCheckpointStepMs);
        if (GetTickCount64() - start >= durationMs) {
            return;
        }
        ++checkPoint;
        report(state, checkPoint, waitHint, NO_ERROR);
    }
}

// Appends "<mark>\n" so that a test can tell which build the service runs.
DWORD appendMark(const wchar_t* path) {
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const char line[] = QMX_BUILD_MARK "\n";
    DWORD length = static_cast<DWORD>(sizeof(line) - 1);
    DWORD written = 0;
    DWORD error = NO_ERROR;
    if (!WriteFile(file, line, length, &written, nullptr)) {
        error = GetLastError();
    } else if (written != length) {
        error = ERROR_WRITE_FAULT;
    }
    CloseHandle(file);
    return error;
}

DWORD WINAPI handler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            if (g_options->ignoreStop) {
                return NO_ERROR;
            }
            // Stop pending is reported here so that the status returned to the
            // caller of ControlService already shows it.
            EnterCriticalSection(&g_lock);
            if (g_status.dwCurrentState == SERVICE_RUNNING) {
                report(SERVICE_STOP_PENDING, 1, g_options->stopHint, NO_ERROR);
                SetEvent(g_stopEvent);
            }
            LeaveCriticalSection(&g_lock);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    static wchar_t noName[] = L"";
    const wchar_t* name = argc > 0 && argv != nullptr ? argv[0] : noName;
    g_statusHandle = RegisterServiceCtrlHandlerExW(name, handler, nullptr);
    if (g_statusHandle == nullptr) {
        return;
    }
    report(SERVICE_START_PENDING, 1, kStartHint, NO_ERROR);
    g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_stopEvent == nullptr) {
        report(SERVICE_STOPPED, 0, 0, GetLastError());
        return;
    }
    pendingPhase(SERVICE_START_PENDING, g_options->startMs, kStartHint, 1);
    if (g_options->markFile[0] != L'\0') {
        DWORD error = appendMark(g_options->markFile);
        if (error != NO_ERROR) {
            CloseHandle(g_stopEvent);
            g_stopEvent = nullptr;
            report(SERVICE_STOPPED, 0, 0, error);
            return;
        }
    }
    report(SERVICE_RUNNING, 0, 0, NO_ERROR);
    WaitForSingleObject(g_stopEvent, INFINITE);
    pendingPhase(SERVICE_STOP_PENDING, g_options->stopMs, g_options->stopHint, 1);
    CloseHandle(g_stopEvent);
    g_stopEvent = nullptr;
    report(SERVICE_STOPPED, 0, 0, NO_ERROR);
}

// True when services.exe started this process. Asking the dispatcher instead
// is not harmless from a console: under Wine it waits about 10 s on the control
// pipe of the last service started, and may take a pipe meant for a service
// that is starting at that moment.
bool startedByServiceManager() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    bool fromManager = false;
    entry.dwSize = sizeof(entry);
    for (BOOL more = parent != 0 && Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == parent) {
            const wchar_t* base = std::wcsrchr(entry.szExeFile, L'\\');
            base = base != nullptr ? base + 1 : entry.szExeFile;
            fromManager = lstrcmpiW(base, L"services.exe") == 0;
            break;
        }
    }
    CloseHandle(snapshot);
    return fromManager;
}

}  // namespace

bool runAsService(const ServerOptions& options, DWORD& error) {
    if (!startedByServiceManager()) {
        error = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
        return false;
    }
    g_options = &options;
    std::memset(&g_status, 0, sizeof(g_status));
    InitializeCriticalSection(&g_lock);
    // An own-process service: the manager ignores the name in the table.
    static wchar_t anyName[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{anyName, serviceMain}, {nullptr, nullptr}};
    bool ok = StartServiceCtrlDispatcherW(table) != FALSE;
    error = ok ? NO_ERROR : GetLastError();
    DeleteCriticalSection(&g_lock);
    return ok;
}
