#include "platform/sim/com.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/sim/com_internal.h"
#include "platform/sim/machine.h"

namespace sim {
namespace {

constexpr int kNoApartment = -1;

struct Com {
    int hostModel = kNoApartment;     // the apartment the thread had before the program
    int programModel = kNoApartment;  // the one the program's own initialisation made
    int depth = 0;
    std::string initCalls;
    std::map<const OLECHAR*, void*> bstrs;  // string -> its block (length prefix first)
    std::vector<std::string> faults;
};

Com& com() {
    static Com c;
    return c;
}

void resetCom() {
    for (auto& b : com().bstrs) std::free(b.second);
    com() = Com{};
}

std::string comLeaks() {
    Com& c = com();
    std::string out;
    if (c.depth != 0) out += "COM initialised " + std::to_string(c.depth) + " more time(s) than uninitialised\n";
    for (const auto& b : c.bstrs) out += "unfreed BSTR \"" + detail::narrow(b.first) + "\"\n";
    for (const std::string& f : c.faults) out += f + "\n";
    return out;
}

bool registered = registerDevice(Device{"com", resetCom, comLeaks});

int threadingModel(DWORD flags) { return (flags & COINIT_APARTMENTTHREADED) ? 1 : 0; }

// The calls that cannot fail are counted like any other, so tests can see
// them, but a fault scripted for them has nothing to act on.
void countOnly(const char* name) {
    uint32_t ignored = 0;
    countCall(name, ignored);
}

}  // namespace

void setThreadApartment(DWORD flags) { com().hostModel = threadingModel(flags); }
int comInitDepth() { return com().depth; }
std::string comInitCalls() { return com().initCalls; }
unsigned liveBstrs() { return static_cast<unsigned>(com().bstrs.size()); }

namespace detail {

bool comReady() { return com().hostModel != kNoApartment || com().programModel != kNoApartment; }

bool isLiveBstr(const OLECHAR* text) { return com().bstrs.count(text) != 0; }

std::wstring bstrText(BSTR text) { return text ? std::wstring(text) : std::wstring(); }

void recordComFault(const std::string& text) { com().faults.push_back("COM misuse: " + text); }

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t w : text) out += (w > 0 && w < 0x80) ? static_cast<char>(w) : '?';
    return out;
}

}  // namespace detail
}  // namespace sim

namespace os {

HRESULT CoInitializeEx(LPVOID reserved, DWORD flags) {
    sim::Com& c = sim::com();
    char text[16];
    std::snprintf(text, sizeof text, "%#x", static_cast<unsigned>(flags));
    if (!c.initCalls.empty()) c.initCalls += ',';
    c.initCalls += text;
    uint32_t code = 0;
    if (sim::countCall("CoInitializeEx", code)) return static_cast<HRESULT>(code);
    if (reserved) return E_INVALIDARG;
    int model = sim::threadingModel(flags);
    int current = c.programModel != sim::kNoApartment ? c.programModel : c.hostModel;
    if (current != sim::kNoApartment && current != model) return RPC_E_CHANGED_MODE;
    ++c.depth;
    if (current != sim::kNoApartment) return S_FALSE;
    c.programModel = model;
    return S_OK;
}

void CoUninitialize() {
    sim::countOnly("CoUninitialize");
    sim::Com& c = sim::com();
    if (c.depth == 0) {
        // On Windows this would take the apartment away from whoever made it.
        sim::detail::recordComFault("CoUninitialize without a matching successful CoInitializeEx");
        return;
    }
    if (--c.depth == 0) c.programModel = sim::kNoApartment;
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId, LPVOID* object) {
    uint32_t code = 0;
    bool fault = sim::countCall("CoCreateInstance", code);
    if (!object) return E_POINTER;
    *object = nullptr;
    if (fault) return static_cast<HRESULT>(code);
    if (!sim::detail::comReady()) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;  // the classes are in-process only
    return sim::detail::createFirewallObject(classId, interfaceId, object);
}

BSTR SysAllocString(const OLECHAR* text) {
    uint32_t code = 0;
    if (sim::countCall("SysAllocString", code) || !text) return nullptr;
    size_t length = std::char_traits<OLECHAR>::length(text);
    // As on Windows: the byte length as a 32-bit prefix, then the characters
    // and a terminator; the BSTR points behind the prefix.
    char* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + (length + 1) * sizeof(OLECHAR)));
    if (!block) return nullptr;
    uint32_t bytes = static_cast<uint32_t>(length * sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    BSTR result = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
    std::memcpy(result, text, (length + 1) * sizeof(OLECHAR));
    sim::com().bstrs[result] = block;
    return result;
}

UINT SysStringLen(BSTR text) {
    sim::countOnly("SysStringLen");
    if (!text) return 0;
    if (!sim::detail::isLiveBstr(text)) {
        sim::detail::recordComFault("SysStringLen of a pointer that is not a live BSTR");
        return 0;
    }
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<char*>(text) - sizeof(uint32_t), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
    sim::countOnly("SysFreeString");
    if (!text) return;
    auto it = sim::com().bstrs.find(text);
    if (it == sim::com().bstrs.end()) {
        sim::detail::recordComFault("SysFreeString of a pointer that is not a live BSTR");
        return;
    }
    std::free(it->second);
    sim::com().bstrs.erase(it);
}

}  // namespace os
