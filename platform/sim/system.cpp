#include "platform/sim/system.h"

#include <cctype>
#include <cstring>
#include <map>

#include "platform/sim/internal.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_os.h"

namespace sim {
namespace {

struct System {
    std::map<std::string, std::string> env;  // upper-cased name -> value
    bool versionReadable = true;
    WORD version[4] = {10, 0, 19041, 3636};
    SYSTEMTIME utc{2026, 12, 5, 11, 14, 45, 30, 123};
    std::string dllDirectories;
    unsigned callsBeforeDll = 0;
    bool dllDirectoriesSeen = false;
};

System& sys() {
    static System s;
    return s;
}

std::string upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

void resetSystem() { sys() = System{}; }

bool registered = registerDevice(Device{"system", resetSystem, nullptr});

// The simulated version resource: a marker and the fixed file information.
constexpr DWORD kVersionBlockSize = 256;
constexpr DWORD kFixedInfoOffset = 40;
const char kVersionMarker[] = "SIMVERSIONINFO";

}  // namespace

void setEnv(const std::string& name, const std::string& value) { sys().env[upper(name)] = value; }

void unsetEnv(const std::string& name) { sys().env.erase(upper(name)); }

void setNtdllVersion(WORD major, WORD minor, WORD build, WORD revision) {
    System& s = sys();
    s.versionReadable = true;
    s.version[0] = major;
    s.version[1] = minor;
    s.version[2] = build;
    s.version[3] = revision;
}

void noNtdllVersion() { sys().versionReadable = false; }

void setSystemTime(const SYSTEMTIME& utc) { sys().utc = utc; }

std::string dllDirectoryCalls() { return sys().dllDirectories; }

unsigned callsBeforeDllDirectories() { return sys().callsBeforeDll; }

}  // namespace sim

namespace os {

DWORD GetLastError() { return sim::lastError(); }

void SetLastError(DWORD code) { sim::setLastError(code); }

BOOL SetDefaultDllDirectories(DWORD flags) {
    sim::System& s = sim::sys();
    if (!s.dllDirectoriesSeen) {
        s.dllDirectoriesSeen = true;
        s.callsBeforeDll = sim::totalCalls();
    }
    if (sim::injectedFailure("SetDefaultDllDirectories")) return FALSE;
    char text[16];
    std::snprintf(text, sizeof text, "%#x", static_cast<unsigned>(flags));
    if (!s.dllDirectories.empty()) s.dllDirectories += ',';
    s.dllDirectories += text;
    return TRUE;
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (sim::injectedFailure("GetEnvironmentVariableA")) return 0;
    auto it = sim::sys().env.find(sim::upper(name));
    if (it == sim::sys().env.end()) {
        sim::setLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::string& value = it->second;
    if (value.size() + 1 > size) return static_cast<DWORD>(value.size() + 1);  // buffer left as it was
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    if (value.empty()) sim::setLastError(0);
    return static_cast<DWORD>(value.size());
}

static bool isNtdll(LPCSTR file) { return sim::upper(file ? file : "") == "NTDLL.DLL"; }

DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    if (handle) *handle = 0;
    if (sim::injectedFailure("GetFileVersionInfoSizeA")) return 0;
    if (!isNtdll(file) || !sim::sys().versionReadable) {
        sim::setLastError(isNtdll(file) ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return sim::kVersionBlockSize;
}

BOOL GetFileVersionInfoA(LPCSTR file, DWORD, DWORD size, LPVOID data) {
    if (sim::injectedFailure("GetFileVersionInfoA")) return FALSE;
    if (!isNtdll(file) || !sim::sys().versionReadable) {
        sim::setLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    if (size < sim::kVersionBlockSize) {
        sim::setLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const WORD* v = sim::sys().version;
    VS_FIXEDFILEINFO info{};
    info.dwSignature = 0xFEEF04BD;
    info.dwStrucVersion = 0x00010000;
    info.dwFileVersionMS = (DWORD(v[0]) << 16) | v[1];
    info.dwFileVersionLS = (DWORD(v[2]) << 16) | v[3];
    // The product version differs on purpose: the platform line must use the file version.
    info.dwProductVersionMS = (DWORD(v[0] + 1) << 16);
    info.dwProductVersionLS = 0;
    std::memset(data, 0, size);
    std::memcpy(data, sim::kVersionMarker, sizeof sim::kVersionMarker);
    std::memcpy(static_cast<char*>(data) + sim::kFixedInfoOffset, &info, sizeof info);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    if (sim::injectedFailure("VerQueryValueA")) return FALSE;
    if (!block || std::memcmp(block, sim::kVersionMarker, sizeof sim::kVersionMarker) != 0 ||
        std::strcmp(subBlock, "\\") != 0) {
        return FALSE;
    }
    *buffer = const_cast<char*>(static_cast<const char*>(block)) + sim::kFixedInfoOffset;
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

DWORD GetTickCount() {
    uint32_t ignored = 0;
    sim::countCall("GetTickCount", ignored);
    return sim::tickCount();
}

void Sleep(DWORD ms) {
    uint32_t ignored = 0;
    sim::countCall("Sleep", ignored);
    sim::detail::recordSleep(ms);
}

void GetSystemTime(LPSYSTEMTIME time) {
    uint32_t ignored = 0;
    sim::countCall("GetSystemTime", ignored);
    *time = sim::sys().utc;
}

void* malloc(size_t size) {
    if (sim::injectedFailure("malloc")) return nullptr;
    return sim::trackedAlloc("malloc", size);
}

void* realloc(void* block, size_t size) {
    if (sim::injectedFailure("realloc")) return nullptr;
    return sim::trackedRealloc("malloc", block, size);
}

void free(void* block) {
    if (block && !sim::trackedFree("malloc", block)) std::abort();  // freeing a foreign block is a program fault
}

HLOCAL LocalAlloc(UINT, SIZE_T bytes) {
    if (sim::injectedFailure("LocalAlloc")) return nullptr;
    return sim::trackedAlloc("LocalAlloc", bytes);
}

HLOCAL LocalFree(HLOCAL block) {
    if (block && !sim::trackedFree("LocalAlloc", block)) std::abort();
    return nullptr;
}

}  // namespace os
