// Service Control Manager, process and command-line calls of the simulated
// binding (ADVAPI32, KERNEL32 and shell32 on Windows), with their records and
// constants as documented.
#pragma once

#include "platform/sim/sim_os.h"
#include "platform/sim/sim_types.h"

// A handle of the service manager: a type of its own, as on Windows, so that
// it cannot be mixed up with a kernel handle without a cast.
struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
using LPSERVICE_STATUS = SERVICE_STATUS*;

struct ENUM_SERVICE_STATUSA {
    LPSTR lpServiceName;
    LPSTR lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};
using LPENUM_SERVICE_STATUSA = ENUM_SERVICE_STATUSA*;

struct QUERY_SERVICE_CONFIGA {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    LPSTR lpBinaryPathName;
    LPSTR lpLoadOrderGroup;
    DWORD dwTagId;
    LPSTR lpDependencies;
    LPSTR lpServiceStartName;
    LPSTR lpDisplayName;
};
using LPQUERY_SERVICE_CONFIGA = QUERY_SERVICE_CONFIGA*;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;

constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;

constexpr DWORD SERVICE_KERNEL_DRIVER = 0x01;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x02;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;
constexpr DWORD SERVICE_WIN32 = 0x30;

constexpr DWORD SERVICE_ACTIVE = 1;
constexpr DWORD SERVICE_INACTIVE = 2;
constexpr DWORD SERVICE_STATE_ALL = 3;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_ACCEPT_STOP = 1;
constexpr DWORD SERVICE_DEMAND_START = 3;

constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_PARTIAL_COPY = 299;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_UNIDENTIFIED_ERROR = 1287;

// A global name on Windows, as the logic spells it.
constexpr UINT LMEM_FIXED = os::LMEM_FIXED;

constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_VM_READ = 0x0010;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;

namespace os {

// ---- Service Control Manager (ADVAPI32) ----
SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD access);
BOOL EnumServicesStatusA(SC_HANDLE manager, DWORD serviceType, DWORD serviceState, LPENUM_SERVICE_STATUSA services,
                         DWORD bufferSize, LPDWORD bytesNeeded, LPDWORD servicesReturned, LPDWORD resumeHandle);
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access);
BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize, LPDWORD bytesNeeded);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
BOOL StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL CloseServiceHandle(SC_HANDLE handle);

// ---- processes (KERNEL32) ----
BOOL K32EnumProcesses(DWORD* processIds, DWORD bytes, DWORD* bytesReturned);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
DWORD K32GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR fileName, DWORD size);
BOOL TerminateProcess(HANDLE process, UINT exitCode);

// ---- command-line splitting (shell32) ----
// The returned block is one LocalAlloc block: argc pointers, a null pointer,
// then the strings. Released with LocalFree.
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount);

}  // namespace os
