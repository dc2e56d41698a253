#include "app/console.h"
#include "app/destination.h"
#include "app/paths.h"
#include "firewall/firewall.h"

namespace {

// The local policy's current profile; the code of the first of the three
// calls that failed otherwise. The manager and the policy are only the way
// there and are released before this returns.
HRESULT openCurrentProfile(INetFwProfile** profile) {
    INetFwMgr* manager = nullptr;
    INetFwPolicy* policy = nullptr;
    HRESULT result = os::CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr,
                                          reinterpret_cast<void**>(&manager));
    if (SUCCEEDED(result)) result = manager->get_LocalPolicy(&policy);
    if (SUCCEEDED(result)) result = policy->get_CurrentProfile(profile);
    if (policy) policy->Release();
    if (manager) manager->Release();
    return result;
}

void warnFailed(HRESULT result) {
    printWarning(" failed: 0x%08lx. Will attempt to continue...\n", hresultCode(result));
}

}  // namespace

bool addFirewallException(const InstallContext& context, const char* fileName) {
    printInfo("  exception for \"%s\"...", fileName);
    PathBuffer installedFile;
    if (!buildInstalledPath(context, fileName, installedFile)) return false;
    // 260 units hold any 259-byte ANSI path: one byte never becomes more
    // than one unit.
    WCHAR imagePath[kPathCapacity] = {};
    os::MultiByteToWideChar(CP_ACP, 0, installedFile, -1, imagePath, static_cast<int>(kPathCapacity));

    INetFwProfile* profile = nullptr;
    HRESULT result = openCurrentProfile(&profile);
    if (FAILED(result)) {
        warnFailed(result);
        return true;
    }
    result = ensureAuthorizedApplication(profile, imagePath);
    if (FAILED(result)) {
        warnFailed(result);
    } else {
        printInfo(" ok\n");
    }
    profile->Release();
    return true;
}
