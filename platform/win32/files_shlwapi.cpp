#include "platform/win32/system_dll.h"
#include "platform/win32/win32_os.h"

namespace os {

BOOL PathFileExistsA(LPCSTR path) {
    using Fn = BOOL(WINAPI*)(LPCSTR);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"shlwapi.dll", "PathFileExistsA")) return FALSE;
    return fn(path);
}

}  // namespace os
