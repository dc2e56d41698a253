#include "platform/win32/system_dll.h"
#include "platform/win32/win32_os.h"

namespace os {
namespace {

// The loader's reason why ole32.dll or its entry point is not available.
HRESULT unbound() { return HRESULT_FROM_WIN32(::GetLastError()); }

}  // namespace

HRESULT CoInitializeEx(LPVOID reserved, DWORD flags) {
    using Fn = HRESULT(WINAPI*)(LPVOID, DWORD);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"ole32.dll", "CoInitializeEx")) return unbound();
    return fn(reserved, flags);
}

void CoUninitialize() {
    using Fn = void(WINAPI*)();
    static Fn fn = nullptr;
    if (win32::boundProc(fn, L"ole32.dll", "CoUninitialize")) fn();
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId, LPVOID* object) {
    using Fn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"ole32.dll", "CoCreateInstance")) {
        if (object) *object = nullptr;
        return unbound();
    }
    return fn(classId, outer, context, interfaceId, object);
}

}  // namespace os
