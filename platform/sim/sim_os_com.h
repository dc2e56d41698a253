// COM, BSTRs and the firewall's classes in the simulated binding (ole32,
// oleaut32 and the firewall's in-process server on Windows). The firewall's
// interfaces are plain structs with the real interfaces' names and method
// signatures, so the logic calls them the same way in both builds; each
// interface pointer is one reference to an object of the simulated firewall
// (platform/sim/firewall.h), counted until it is released.
#pragma once

#include "platform/sim/sim_types.h"

using OLECHAR = WCHAR;
using BSTR = OLECHAR*;
using VARIANT_BOOL = short;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
struct IUnknown;
using LPUNKNOWN = IUnknown*;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
    return code == 0 ? 0 : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;

// `simObject` is the simulated firewall's number of the object behind the
// interface; the logic never looks at it.
struct INetFwAuthorizedApplication {
    HRESULT put_Name(BSTR name);
    HRESULT put_ProcessImageFileName(BSTR imageFileName);
    HRESULT get_Enabled(VARIANT_BOOL* enabled);
    ULONG Release();
    unsigned simObject;
};

struct INetFwAuthorizedApplications {
    HRESULT Add(INetFwAuthorizedApplication* app);
    HRESULT Item(BSTR imageFileName, INetFwAuthorizedApplication** app);
    ULONG Release();
    unsigned simObject;
};

struct INetFwProfile {
    HRESULT get_AuthorizedApplications(INetFwAuthorizedApplications** apps);
    ULONG Release();
    unsigned simObject;
};

struct INetFwPolicy {
    HRESULT get_CurrentProfile(INetFwProfile** profile);
    ULONG Release();
    unsigned simObject;
};

struct INetFwMgr {
    HRESULT get_LocalPolicy(INetFwPolicy** localPolicy);
    ULONG Release();
    unsigned simObject;
};

namespace os {

HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId, LPVOID* object);

BSTR SysAllocString(const OLECHAR* text);
UINT SysStringLen(BSTR text);
void SysFreeString(BSTR text);

}  // namespace os

#include "platform/firewall_ids.h"
