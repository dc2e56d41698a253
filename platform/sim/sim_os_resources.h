// Resource calls of the simulated binding (KERNEL32 on Windows): the
// program's own module and the resources in its image.
#pragma once

#include "platform/sim/sim_types.h"

using HRSRC = void*;
using HGLOBAL = void*;

// An integer resource name or type, as Windows passes it: the number in the
// low word of a pointer-sized value.
inline LPCWSTR MAKEINTRESOURCEW(WORD id) { return reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(id)); }

namespace os {

HMODULE GetModuleHandleW(LPCWSTR moduleName);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);

}  // namespace os
