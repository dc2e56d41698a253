#include "platform/win32/system_dll.h"
#include "platform/win32/win32_os.h"

namespace os {

// Without oleaut32.dll no string can be allocated: null, as when memory is
// short, and the firewall step reports E_OUTOFMEMORY.
BSTR SysAllocString(const OLECHAR* text) {
    using Fn = BSTR(WINAPI*)(const OLECHAR*);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"oleaut32.dll", "SysAllocString")) return nullptr;
    return fn(text);
}

UINT SysStringLen(BSTR text) {
    using Fn = UINT(WINAPI*)(BSTR);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"oleaut32.dll", "SysStringLen")) return 0;
    return fn(text);
}

void SysFreeString(BSTR text) {
    using Fn = void(WINAPI*)(BSTR);
    static Fn fn = nullptr;
    if (win32::boundProc(fn, L"oleaut32.dll", "SysFreeString")) fn(text);
}

}  // namespace os
