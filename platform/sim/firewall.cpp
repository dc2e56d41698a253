#include "platform/sim/firewall.h"

#include <cstring>
#include <deque>
#include <vector>

#include "platform/sim/com_internal.h"
#include "platform/sim/machine.h"

namespace sim {
namespace {

enum Kind { kManager, kPolicy, kProfile, kList, kApplication };
const char* const kKindNames[] = {"INetFwMgr", "INetFwPolicy", "INetFwProfile", "INetFwAuthorizedApplications",
                                  "INetFwAuthorizedApplication"};

struct Entry {
    std::wstring image;
    std::wstring name;
    short enabled;
};

// One object behind the interfaces handed out. A profile and a list belong to
// one profile; an application object is either the view of a registered
// entry (from Item: its properties are the entry's own) or a new object from
// CoCreateInstance with properties of its own until it is added.
struct Object {
    Kind kind;
    unsigned refs;
    int profile;
    bool registered;
    size_t entry;  // the registered entry's index in its profile's list
    Entry own;
};

struct Firewall {
    int current = kStandardProfile;
    std::vector<Entry> lists[2];
    std::vector<Object> objects;
    // The interface values, in containers that never move them.
    std::deque<INetFwMgr> managers;
    std::deque<INetFwPolicy> policies;
    std::deque<INetFwProfile> profiles;
    std::deque<INetFwAuthorizedApplications> appLists;
    std::deque<INetFwAuthorizedApplication> apps;
};

Firewall& firewall() {
    static Firewall f;
    return f;
}

void resetFirewall() { firewall() = Firewall{}; }

std::string firewallLeaks() {
    std::string out;
    for (const Object& o : firewall().objects) {
        if (o.refs != 0) {
            out += std::string("unreleased ") + kKindNames[o.kind] + " (" + std::to_string(o.refs) + " reference(s))\n";
        }
    }
    return out;
}

bool registered = registerDevice(Device{"firewall", resetFirewall, firewallLeaks});

template <typename Iface>
Iface* newObject(std::deque<Iface>& store, Kind kind, int profile) {
    Firewall& f = firewall();
    Object object{kind, 1, profile, false, 0, Entry{L"", L"", VARIANT_TRUE}};
    f.objects.push_back(object);
    store.push_back(Iface{});
    store.back().simObject = static_cast<unsigned>(f.objects.size() - 1);
    return &store.back();
}

// The start of every method that returns an HRESULT: counts the call and
// checks that the program still holds a reference to the object. On a
// scripted fault `fault` receives its code.
Object* enter(const char* method, unsigned id, HRESULT& fault) {
    uint32_t code = 0;
    fault = countCall(method, code) ? static_cast<HRESULT>(code) : S_OK;
    Firewall& f = firewall();
    if (id >= f.objects.size() || f.objects[id].refs == 0) {
        detail::recordComFault(std::string(method) + " called on a released object");
        return nullptr;
    }
    return &f.objects[id];
}

ULONG release(const char* method, unsigned id) {
    uint32_t ignored = 0;
    countCall(method, ignored);
    Firewall& f = firewall();
    if (id >= f.objects.size() || f.objects[id].refs == 0) {
        detail::recordComFault(std::string(method) + " of an object released more often than referenced");
        return 0;
    }
    return --f.objects[id].refs;
}

Entry& properties(Object& app) { return app.registered ? firewall().lists[app.profile][app.entry] : app.own; }

// A BSTR argument must come from SysAllocString: the firewall reads its length
// prefix.
bool checkBstr(const char* method, BSTR text) {
    if (!text || detail::isLiveBstr(text)) return true;
    detail::recordComFault(std::string(method) + " given a string that is not a live BSTR");
    return false;
}

wchar_t fold(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<wchar_t>(c + 0x20);
    return c;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// The index of the entry for `image` in a profile's list, or -1.
long findEntry(int profile, const std::wstring& image) {
    const std::vector<Entry>& list = firewall().lists[profile];
    for (size_t i = 0; i < list.size(); ++i) {
        if (samePath(list[i].image, image)) return static_cast<long>(i);
    }
    return -1;
}

bool sameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && std::memcmp(a.Data4, b.Data4, 8) == 0;
}

}  // namespace

void setCurrentProfile(int profile) { firewall().current = profile; }

void addAuthorizedApplication(int profile, const std::wstring& image, const std::wstring& name, short enabled) {
    firewall().lists[profile].push_back(Entry{image, name, enabled});
}

std::wstring authorizedApplications(int profile) {
    std::wstring out;
    for (const Entry& e : firewall().lists[profile]) {
        out += e.image + L"|" + e.name + L"|" + std::to_wstring(e.enabled) + L"\n";
    }
    return out;
}

unsigned liveComReferences() {
    unsigned n = 0;
    for (const Object& o : firewall().objects) n += o.refs;
    return n;
}

namespace detail {

HRESULT createFirewallObject(REFCLSID classId, REFIID interfaceId, LPVOID* object) {
    Firewall& f = firewall();
    if (sameGuid(classId, kClsidNetFwMgr)) {
        if (!sameGuid(interfaceId, kIidNetFwMgr)) return E_NOINTERFACE;
        *object = newObject(f.managers, kManager, -1);
        return S_OK;
    }
    if (sameGuid(classId, kClsidNetFwAuthorizedApplication)) {
        if (!sameGuid(interfaceId, kIidNetFwAuthorizedApplication)) return E_NOINTERFACE;
        *object = newObject(f.apps, kApplication, -1);
        return S_OK;
    }
    return REGDB_E_CLASSNOTREG;
}

}  // namespace detail
}  // namespace sim

HRESULT INetFwMgr::get_LocalPolicy(INetFwPolicy** localPolicy) {
    HRESULT fault;
    if (!sim::enter("INetFwMgr::get_LocalPolicy", simObject, fault)) return E_FAIL;
    if (!localPolicy) return E_POINTER;
    *localPolicy = nullptr;
    if (FAILED(fault)) return fault;
    *localPolicy = sim::newObject(sim::firewall().policies, sim::kPolicy, -1);
    return S_OK;
}

ULONG INetFwMgr::Release() { return sim::release("INetFwMgr::Release", simObject); }

HRESULT INetFwPolicy::get_CurrentProfile(INetFwProfile** profile) {
    HRESULT fault;
    if (!sim::enter("INetFwPolicy::get_CurrentProfile", simObject, fault)) return E_FAIL;
    if (!profile) return E_POINTER;
    *profile = nullptr;
    if (FAILED(fault)) return fault;
    *profile = sim::newObject(sim::firewall().profiles, sim::kProfile, sim::firewall().current);
    return S_OK;
}

ULONG INetFwPolicy::Release() { return sim::release("INetFwPolicy::Release", simObject); }

HRESULT INetFwProfile::get_AuthorizedApplications(INetFwAuthorizedApplications** apps) {
    HRESULT fault;
    sim::Object* self = sim::enter("INetFwProfile::get_AuthorizedApplications", simObject, fault);
    if (!self) return E_FAIL;
    if (!apps) return E_POINTER;
    *apps = nullptr;
    if (FAILED(fault)) return fault;
    int profile = self->profile;  // newObject may move the objects
    *apps = sim::newObject(sim::firewall().appLists, sim::kList, profile);
    return S_OK;
}

ULONG INetFwProfile::Release() { return sim::release("INetFwProfile::Release", simObject); }

HRESULT INetFwAuthorizedApplications::Item(BSTR imageFileName, INetFwAuthorizedApplication** app) {
    HRESULT fault;
    sim::Object* self = sim::enter("INetFwAuthorizedApplications::Item", simObject, fault);
    if (!self) return E_FAIL;
    if (!app) return E_POINTER;
    *app = nullptr;
    if (FAILED(fault)) return fault;
    if (!sim::checkBstr("INetFwAuthorizedApplications::Item", imageFileName)) return E_INVALIDARG;
    int profile = self->profile;
    long index = sim::findEntry(profile, sim::detail::bstrText(imageFileName));
    if (index < 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    INetFwAuthorizedApplication* view = sim::newObject(sim::firewall().apps, sim::kApplication, profile);
    sim::Object& object = sim::firewall().objects[view->simObject];
    object.registered = true;
    object.entry = static_cast<size_t>(index);
    *app = view;
    return S_OK;
}

HRESULT INetFwAuthorizedApplications::Add(INetFwAuthorizedApplication* app) {
    HRESULT fault;
    sim::Object* self = sim::enter("INetFwAuthorizedApplications::Add", simObject, fault);
    if (!self) return E_FAIL;
    if (FAILED(fault)) return fault;
    if (!app) return E_POINTER;
    sim::Firewall& f = sim::firewall();
    if (app->simObject >= f.objects.size() || f.objects[app->simObject].refs == 0) {
        sim::detail::recordComFault("INetFwAuthorizedApplications::Add given a released object");
        return E_INVALIDARG;
    }
    sim::Entry entry = sim::properties(f.objects[app->simObject]);
    if (entry.image.empty() || entry.name.empty()) return E_INVALIDARG;
    // An entry for the same image is replaced, so the list stays keyed by path.
    int profile = self->profile;
    long index = sim::findEntry(profile, entry.image);
    if (index < 0) {
        f.lists[profile].push_back(entry);
    } else {
        f.lists[profile][static_cast<size_t>(index)] = entry;
    }
    return S_OK;
}

ULONG INetFwAuthorizedApplications::Release() { return sim::release("INetFwAuthorizedApplications::Release", simObject); }

HRESULT INetFwAuthorizedApplication::put_Name(BSTR name) {
    HRESULT fault;
    sim::Object* self = sim::enter("INetFwAuthorizedApplication::put_Name", simObject, fault);
    if (!self) return E_FAIL;
    if (FAILED(fault)) return fault;
    if (!sim::checkBstr("INetFwAuthorizedApplication::put_Name", name)) return E_INVALIDARG;
    sim::properties(*self).name = sim::detail::bstrText(name);
    return S_OK;
}

HRESULT INetFwAuthorizedApplication::put_ProcessImageFileName(BSTR imageFileName) {
    HRESULT fault;
    sim::Object* self = sim::enter("INetFwAuthorizedApplication::put_ProcessImageFileName", simObject, fault);
    if (!self) return E_FAIL;
    if (FAILED(fault)) return fault;
    if (!sim::checkBstr("INetFwAuthorizedApplication::put_ProcessImageFileName", imageFileName)) return E_INVALIDARG;
    sim::properties(*self).image = sim::detail::bstrText(imageFileName);
    return S_OK;
}

HRESULT INetFwAuthorizedApplication::get_Enabled(VARIANT_BOOL* enabled) {
    HRESULT fault;
    sim::Object* self = sim::enter("INetFwAuthorizedApplication::get_Enabled", simObject, fault);
    if (!self) return E_FAIL;
    if (!enabled) return E_POINTER;
    if (FAILED(fault)) return fault;
    *enabled = sim::properties(*self).enabled;
    return S_OK;
}

ULONG INetFwAuthorizedApplication::Release() { return sim::release("INetFwAuthorizedApplication::Release", simObject); }
