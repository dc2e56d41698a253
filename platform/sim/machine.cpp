#include "platform/sim/machine.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace sim {
namespace {

struct Fault {
    uint32_t code;
    unsigned nth;
    bool once;
};

struct HandleEntry {
    std::string kind;
    void* object;
    void (*closer)(void*);
};

struct BlockEntry {
    std::string kind;
    size_t size;
};

struct Machine {
    std::map<std::string, std::vector<Fault>> faults;
    std::map<std::string, unsigned> calls;
    unsigned totalCalls = 0;
    DWORD lastError = 0;
    uint64_t clock = 0;
    uint32_t tickBase = 0;
    uint64_t slept = 0;
    std::string sleeps;
    std::map<uintptr_t, HandleEntry> handles;
    uintptr_t nextHandle = 0x1000;
    std::map<void*, BlockEntry> blocks;
};

Machine& machine() {
    static Machine m;
    return m;
}

std::vector<Device>& devices() {
    static std::vector<Device> list;
    return list;
}

}  // namespace

bool registerDevice(const Device& device) {
    devices().push_back(device);
    return true;
}

void reset() {
    Machine& m = machine();
    // Blocks still held from a previous test are released here so one failing
    // test does not make the sanitizer report every later one.
    for (auto& block : m.blocks) std::free(block.first);
    m = Machine{};
    for (const Device& d : devices()) d.reset();
}

std::string leaks() {
    Machine& m = machine();
    std::string out;
    for (const auto& h : m.handles) {
        char line[96];
        std::snprintf(line, sizeof line, "open handle %#lx (%s)\n", static_cast<unsigned long>(h.first),
                      h.second.kind.c_str());
        out += line;
    }
    for (const auto& b : m.blocks) {
        char line[96];
        std::snprintf(line, sizeof line, "live %s block of %zu bytes\n", b.second.kind.c_str(), b.second.size);
        out += line;
    }
    for (const Device& d : devices()) {
        if (d.leaks) out += d.leaks();
    }
    return out;
}

void failOnce(const char* name, uint32_t code, unsigned nth) {
    machine().faults[name].push_back(Fault{code, nth, true});
}

void failFrom(const char* name, uint32_t code, unsigned nth) {
    machine().faults[name].push_back(Fault{code, nth, false});
}

unsigned callCount(const char* name) {
    auto it = machine().calls.find(name);
    return it == machine().calls.end() ? 0 : it->second;
}

unsigned totalCalls() { return machine().totalCalls; }

bool countCall(const char* name, uint32_t& code) {
    Machine& m = machine();
    unsigned n = ++m.calls[name];
    ++m.totalCalls;
    auto it = m.faults.find(name);
    if (it == m.faults.end()) return false;
    for (const Fault& f : it->second) {
        if ((f.once && n == f.nth) || (!f.once && n >= f.nth)) {
            code = f.code;
            return true;
        }
    }
    return false;
}

bool injectedFailure(const char* name) {
    uint32_t code = 0;
    if (!countCall(name, code)) return false;
    machine().lastError = code;
    return true;
}

void setLastError(DWORD code) { machine().lastError = code; }
DWORD lastError() { return machine().lastError; }

uint64_t now() { return machine().clock; }

void advance(uint64_t ms) { machine().clock += ms; }

void setTickBase(uint32_t base) { machine().tickBase = base; }

uint32_t tickCount() { return static_cast<uint32_t>(machine().tickBase + machine().clock); }

uint64_t totalSlept() { return machine().slept; }

const std::string& sleepLog() { return machine().sleeps; }

namespace detail {
void recordSleep(DWORD ms) {
    Machine& m = machine();
    m.slept += ms;
    m.clock += ms;
    if (!m.sleeps.empty()) m.sleeps += ',';
    m.sleeps += std::to_string(ms);
}
}  // namespace detail

HANDLE openHandle(const char* kind, void* object, void (*closer)(void*)) {
    Machine& m = machine();
    uintptr_t value = m.nextHandle;
    m.nextHandle += 4;
    m.handles[value] = HandleEntry{kind, object, closer};
    return reinterpret_cast<HANDLE>(value);
}

void* handleObject(HANDLE handle, const char* kind) {
    auto it = machine().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == machine().handles.end() || it->second.kind != kind) return nullptr;
    return it->second.object;
}

const char* handleKind(HANDLE handle) {
    auto it = machine().handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == machine().handles.end() ? nullptr : it->second.kind.c_str();
}

bool closeHandle(HANDLE handle) {
    Machine& m = machine();
    auto it = m.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m.handles.end()) return false;
    HandleEntry entry = it->second;
    m.handles.erase(it);
    if (entry.closer) entry.closer(entry.object);
    return true;
}

unsigned openHandleCount(const char* kind) {
    unsigned n = 0;
    for (const auto& h : machine().handles) {
        if (h.second.kind == kind) ++n;
    }
    return n;
}

void* trackedAlloc(const char* kind, size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block) machine().blocks[block] = BlockEntry{kind, size};
    return block;
}

void* trackedRealloc(const char* kind, void* block, size_t size) {
    Machine& m = machine();
    if (!block) return trackedAlloc(kind, size);
    auto it = m.blocks.find(block);
    if (it == m.blocks.end() || it->second.kind != kind) std::abort();  // a foreign block is a program fault
    void* grown = std::realloc(block, size == 0 ? 1 : size);
    if (!grown) return nullptr;
    m.blocks.erase(it);
    m.blocks[grown] = BlockEntry{kind, size};
    return grown;
}

bool trackedFree(const char* kind, void* block) {
    Machine& m = machine();
    auto it = m.blocks.find(block);
    if (it == m.blocks.end() || it->second.kind != kind) return false;
    m.blocks.erase(it);
    std::free(block);
    return true;
}

unsigned liveBlocks(const char* kind) {
    unsigned n = 0;
    for (const auto& b : machine().blocks) {
        if (b.second.kind == kind) ++n;
    }
    return n;
}

}  // namespace sim
