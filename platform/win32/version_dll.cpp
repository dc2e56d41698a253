#include "platform/win32/system_dll.h"
#include "platform/win32/win32_os.h"

namespace os {

DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    using Fn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"version.dll", "GetFileVersionInfoSizeA")) return 0;
    return fn(file, handle);
}

BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
    using Fn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"version.dll", "GetFileVersionInfoA")) return FALSE;
    return fn(file, handle, size, data);
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    using Fn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"version.dll", "VerQueryValueA")) return FALSE;
    return fn(block, subBlock, buffer, length);
}

}  // namespace os
