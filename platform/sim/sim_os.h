// The simulated binding of the platform seam: the same names, arguments and
// meaning as the Win32 and C-runtime calls, implemented over the simulated
// machine (machine.h and the device files beside it).
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/sim/sim_types.h"

namespace os {

// ---- errors ----
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- loader ----
BOOL SetDefaultDllDirectories(DWORD flags);

// ---- environment and system ----
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);

// ---- clock ----
DWORD GetTickCount();
void Sleep(DWORD ms);
void GetSystemTime(LPSYSTEMTIME time);

// ---- heap (the C runtime's, and the local heap) ----
void* malloc(size_t size);
void* realloc(void* block, size_t size);
void free(void* block);
constexpr UINT LMEM_FIXED = 0;
using HLOCAL = void*;
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL block);

// ---- console and standard output ----
HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);

// The C runtime's streams. Text written to standard output reaches the
// simulated console when it is flushed, as with a buffered stdout.
struct FILE;
FILE* stdoutStream();
int vprintf(const char* format, va_list args);
int fflush(FILE* stream);
FILE* fopen(const char* path, const char* mode);
size_t fwrite(const void* data, size_t size, size_t count, FILE* stream);
int fclose(FILE* stream);

// ---- files and folders ----
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL PathFileExistsA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
BOOL CloseHandle(HANDLE handle);

}  // namespace os
#include "platform/sim/sim_os_codepage.h"
#include "platform/sim/sim_os_resources.h"
#include "platform/sim/sim_os_com.h"
#include "platform/sim/sim_os_services.h"
