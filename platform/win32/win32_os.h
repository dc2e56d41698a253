// The Windows binding of the platform seam: each os:: name is the real call.
// KERNEL32, ADVAPI32 and the C runtime are imported statically; every other
// DLL is bound at run time from System32 only (system_dll.h), so a DLL placed
// beside the installer is never loaded into it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace os {

// ---- errors, loader, environment, clock (KERNEL32) ----
using ::GetLastError;
using ::SetLastError;
using ::SetDefaultDllDirectories;
using ::GetEnvironmentVariableA;
using ::GetTickCount;
using ::Sleep;
using ::GetSystemTime;

// ---- heap ----
using ::malloc;
using ::realloc;
using ::free;
using ::LocalAlloc;
using ::LocalFree;
using ::HLOCAL;

// ---- console and the C runtime's streams ----
using ::GetStdHandle;
using ::GetConsoleScreenBufferInfo;
using ::SetConsoleTextAttribute;
using ::FILE;
inline FILE* stdoutStream() { return stdout; }
using ::vprintf;
using ::fflush;
using ::fopen;
using ::fwrite;
using ::fclose;

// ---- files and folders ----
using ::CreateDirectoryA;
using ::GetFileAttributesA;
using ::CreateFileA;
using ::WriteFile;
using ::GetFileInformationByHandle;
using ::CloseHandle;
BOOL PathFileExistsA(LPCSTR path);  // shlwapi.dll, bound at run time

// ---- version.dll, bound at run time ----
DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);

}  // namespace os

namespace os {
// ---- code pages (KERNEL32) ----
using ::MultiByteToWideChar;
using ::WideCharToMultiByte;
}  // namespace os
#include "platform/win32/win32_os_resources.h"
#include "platform/win32/win32_os_com.h"
#include "platform/win32/win32_os_services.h"
