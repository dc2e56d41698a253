#include "platform/win32/system_dll.h"
#include "platform/win32/win32_os.h"

namespace os {

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount) {
    using Fn = LPWSTR*(WINAPI*)(LPCWSTR, int*);
    static Fn fn = nullptr;
    if (!win32::boundProc(fn, L"shell32.dll", "CommandLineToArgvW")) return nullptr;
    return fn(commandLine, argumentCount);
}

}  // namespace os
