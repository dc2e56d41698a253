// Service Control Manager (ADVAPI32), processes (KERNEL32) and command-line
// splitting (shell32.dll, bound at run time) of the Windows binding.
#pragma once

#include <windows.h>

// The K32 names are KERNEL32's own exports of the process-status calls; the
// header declares them only for this interface version.
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

namespace os {

// ---- Service Control Manager (ADVAPI32) ----
using ::OpenSCManagerW;
using ::EnumServicesStatusA;
using ::OpenServiceA;
using ::QueryServiceConfigA;
using ::ControlService;
using ::StartServiceW;
using ::QueryServiceStatus;
using ::CloseServiceHandle;

// ---- processes (KERNEL32) ----
using ::K32EnumProcesses;
using ::OpenProcess;
using ::K32GetModuleFileNameExA;
using ::TerminateProcess;

// ---- shell32.dll, bound at run time ----
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount);

}  // namespace os
