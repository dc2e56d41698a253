#include "app/platform_class.h"

#include "app/console.h"
#include "platform/os.h"

namespace {

const char kNtdll[] = "ntdll.dll";

// Fills the four numbers from ntdll.dll's fixed file information; leaves them
// untouched when any call fails.
void readNtdllVersion(InstallContext& context) {
    DWORD handle = 0;
    DWORD size = os::GetFileVersionInfoSizeA(kNtdll, &handle);
    if (size == 0) return;
    void* block = os::malloc(size);
    if (!block) return;
    LPVOID fixed = nullptr;
    UINT fixedLength = 0;
    if (os::GetFileVersionInfoA(kNtdll, handle, size, block) &&
        os::VerQueryValueA(block, "\\", &fixed, &fixedLength) && fixed && fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        context.osMajor = info->dwFileVersionMS >> 16;
        context.osMinor = info->dwFileVersionMS & 0xFFFF;
        context.osBuild = info->dwFileVersionLS >> 16;
        context.osRevision = info->dwFileVersionLS & 0xFFFF;
    }
    os::free(block);
}

bool isKnownClass(RuntimeClass runtimeClass) {
    return runtimeClass == RuntimeNt4 || runtimeClass == RuntimeW2k || runtimeClass == RuntimeXpSp3 ||
           runtimeClass == RuntimeCurrent;
}

}  // namespace

RuntimeClass classifyVersion(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision) {
    if (major < 5) return RuntimeNt4;
    if (major == 5) {
        if (minor == 0) return RuntimeW2k;
        if (minor == 1) {
            // 5.1.2600.5512 is the ntdll.dll of XP with Service Pack 3.
            if (build != 2600) return build < 2600 ? RuntimeW2k : RuntimeXpSp3;
            return revision >= 5512 ? RuntimeXpSp3 : RuntimeW2k;
        }
        return RuntimeXpSp3;
    }
    if (major == 6 && minor == 0) return RuntimeXpSp3;
    return RuntimeCurrent;
}

const char* runtimeClassLabel(RuntimeClass runtimeClass) {
    switch (runtimeClass) {
        case RuntimeNt4: return "nt4";
        case RuntimeW2k: return "w2k";
        case RuntimeXpSp3: return "xpsp3";
        case RuntimeCurrent: return "current";
    }
    return "unknown";
}

void detectPlatform(InstallContext& context) {
    context.osMajor = 0;
    context.osMinor = 0;
    context.osBuild = 0;
    context.osRevision = 0;
    readNtdllVersion(context);
    context.runtimeClass = classifyVersion(context.osMajor, context.osMinor, context.osBuild, context.osRevision);
    printInfo("os %d.%d.%d.%d => crt \"%s\"\n", static_cast<int>(context.osMajor), static_cast<int>(context.osMinor),
              static_cast<int>(context.osBuild), static_cast<int>(context.osRevision),
              runtimeClassLabel(context.runtimeClass));
}

bool crtVariantApplies(uint32_t crtVariant, RuntimeClass runtimeClass) {
    if (crtVariant == 0) return true;
    if (crtVariant >= 8 || !isKnownClass(runtimeClass)) return false;
    if (crtVariant & 1) return runtimeClass == crtVariant;
    return runtimeClass >= crtVariant - 1;
}
