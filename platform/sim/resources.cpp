#include "platform/sim/resources.h"

#include <map>
#include <utility>

#include "platform/sim/machine.h"
#include "platform/sim/sim_os.h"

namespace sim {
namespace {

struct Resource {
    std::string copy;
    const void* data;
    size_t size;
};

struct Resources {
    std::map<std::pair<WORD, WORD>, Resource> byTypeAndId;
};

Resources& resources() {
    static Resources r;
    return r;
}

HMODULE const kOwnModule = reinterpret_cast<HMODULE>(uintptr_t(0x140000000));

void resetResources() { resources() = Resources{}; }

bool registered = registerDevice(Device{"resources", resetResources, nullptr});

// An integer resource name or type: the number in the low word, nothing above.
bool integerName(LPCWSTR name, WORD& value) {
    uintptr_t raw = reinterpret_cast<uintptr_t>(name);
    if (raw >> 16) return false;
    value = static_cast<WORD>(raw);
    return true;
}

Resource* resourceOf(HRSRC handle) {
    for (auto& entry : resources().byTypeAndId) {
        if (&entry.second == handle) return &entry.second;
    }
    return nullptr;
}

}  // namespace

void setResource(WORD type, WORD id, const std::string& bytes) {
    Resource& r = resources().byTypeAndId[{type, id}];
    r.copy = bytes;
    r.data = r.copy.data();
    r.size = r.copy.size();
}

void setResourceInPlace(WORD type, WORD id, const void* data, size_t size) {
    Resource& r = resources().byTypeAndId[{type, id}];
    r.copy.clear();
    r.data = data;
    r.size = size;
}

void removeResource(WORD type, WORD id) { resources().byTypeAndId.erase({type, id}); }

HMODULE ownModule() { return kOwnModule; }

}  // namespace sim

namespace os {

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    if (sim::injectedFailure("GetModuleHandleW")) return nullptr;
    if (moduleName) {
        sim::setLastError(ERROR_MOD_NOT_FOUND);  // only the program's own module is loaded
        return nullptr;
    }
    return sim::kOwnModule;
}

// As on Windows: a type with no resources at all gives 1813, a missing id
// under a known type 1814.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (sim::injectedFailure("FindResourceW")) return nullptr;
    if (module != sim::kOwnModule) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    WORD typeId = 0;
    WORD id = 0;
    bool typeKnown = false;
    if (sim::integerName(type, typeId)) {
        for (const auto& entry : sim::resources().byTypeAndId) {
            if (entry.first.first == typeId) typeKnown = true;
        }
    }
    if (!typeKnown) {
        sim::setLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto it = sim::integerName(name, id) ? sim::resources().byTypeAndId.find({typeId, id})
                                         : sim::resources().byTypeAndId.end();
    if (it == sim::resources().byTypeAndId.end()) {
        sim::setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return &it->second;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    if (sim::injectedFailure("LoadResource")) return nullptr;
    if (module != sim::kOwnModule || !sim::resourceOf(resource)) {
        sim::setLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return resource;  // the loaded form is the same record
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    uint32_t ignored = 0;
    sim::countCall("SizeofResource", ignored);
    sim::Resource* r = module == sim::kOwnModule ? sim::resourceOf(resource) : nullptr;
    if (!r) {
        sim::setLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(r->size);
}

LPVOID LockResource(HGLOBAL loaded) {
    uint32_t ignored = 0;
    sim::countCall("LockResource", ignored);
    sim::Resource* r = sim::resourceOf(loaded);
    return r ? const_cast<void*>(r->data) : nullptr;
}

}  // namespace os
