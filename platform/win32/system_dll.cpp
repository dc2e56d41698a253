#include "platform/win32/system_dll.h"

namespace os {
namespace win32 {

FARPROC systemProc(const wchar_t* dll, const char* name) {
    // The module stays loaded for the rest of the process, like a static import.
    HMODULE module = ::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return nullptr;
    return ::GetProcAddress(module, name);
}

}  // namespace win32
}  // namespace os
