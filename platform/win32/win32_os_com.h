// COM and BSTRs, bound at run time from System32's ole32.dll and
// oleaut32.dll; the firewall's interfaces are the SDK's own. The SDK header
// declares the interfaces and their GUIDs only as data: nothing of it is
// imported unless the logic names it, and the logic names our GUIDs.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <netfw.h>

namespace os {

// A DLL or entry point that cannot be bound gives the loader's error as an
// HRESULT (and null, 0 or nothing from the string calls).
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId, LPVOID* object);

BSTR SysAllocString(const OLECHAR* text);
UINT SysStringLen(BSTR text);
void SysFreeString(BSTR text);

}  // namespace os

#include "platform/firewall_ids.h"
