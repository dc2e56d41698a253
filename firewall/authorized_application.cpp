#include "firewall/firewall.h"

namespace {

const OLECHAR kEntryName[] = L"qmx OPCUA";

// Whether the profile's list holds an enabled entry for the path. A failed
// Item means "not registered", whatever its cause; every other failure is
// the result, and then nothing may be added.
HRESULT findEnabledEntry(INetFwProfile* profile, const WCHAR* imagePath, bool& presentAndEnabled) {
    presentAndEnabled = false;
    INetFwAuthorizedApplications* list = nullptr;
    INetFwAuthorizedApplication* entry = nullptr;
    BSTR image = nullptr;
    HRESULT result = profile->get_AuthorizedApplications(&list);
    if (SUCCEEDED(result)) {
        image = os::SysAllocString(imagePath);
        if (!image) result = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(result) && SUCCEEDED(list->Item(image, &entry))) {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        result = entry->get_Enabled(&enabled);
        presentAndEnabled = SUCCEEDED(result) && enabled != VARIANT_FALSE;
    }
    if (image) os::SysFreeString(image);
    if (entry) entry->Release();
    if (list) list->Release();
    return result;
}

// A new entry for the path named "qmx OPCUA". A disabled entry for the same
// path is never changed in place: the new one takes its place in the list.
HRESULT addEntry(INetFwProfile* profile, const WCHAR* imagePath) {
    INetFwAuthorizedApplications* list = nullptr;
    INetFwAuthorizedApplication* entry = nullptr;
    BSTR image = nullptr;
    BSTR name = nullptr;
    HRESULT result = profile->get_AuthorizedApplications(&list);
    if (SUCCEEDED(result)) {
        result = os::CoCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                                      kIidNetFwAuthorizedApplication, reinterpret_cast<void**>(&entry));
    }
    if (SUCCEEDED(result)) {
        image = os::SysAllocString(imagePath);
        result = image ? entry->put_ProcessImageFileName(image) : E_OUTOFMEMORY;
    }
    if (SUCCEEDED(result)) {
        name = os::SysAllocString(kEntryName);
        result = os::SysStringLen(name) == 0 ? E_OUTOFMEMORY : entry->put_Name(name);
    }
    if (SUCCEEDED(result)) result = list->Add(entry);
    if (name) os::SysFreeString(name);
    if (image) os::SysFreeString(image);
    if (entry) entry->Release();
    if (list) list->Release();
    return result;
}

}  // namespace

HRESULT ensureAuthorizedApplication(INetFwProfile* profile, const WCHAR* imagePath) {
    bool presentAndEnabled = false;
    HRESULT result = findEnabledEntry(profile, imagePath, presentAndEnabled);
    if (FAILED(result) || presentAndEnabled) return result;
    return addEntry(profile, imagePath);
}
