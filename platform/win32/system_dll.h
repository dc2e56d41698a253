// Run-time binding of the DLLs the installer does not import statically.
#pragma once

#include <windows.h>

namespace os {
namespace win32 {

// The address of `name` in System32's `dll`, or null with the loader's error
// code as the last error. Only System32 is searched, whatever the process's
// DLL search path holds.
FARPROC systemProc(const wchar_t* dll, const char* name);

// Typed form: binds once per call site and caches the address.
template <typename Fn>
Fn boundProc(Fn& cache, const wchar_t* dll, const char* name) {
    if (!cache) cache = reinterpret_cast<Fn>(reinterpret_cast<void*>(systemProc(dll, name)));
    return cache;
}

}  // namespace win32
}  // namespace os
