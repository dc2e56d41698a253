#include "payload/copy_payload.h"

#include "app/console.h"
#include "app/destination.h"
#include "app/paths.h"
#include "app/platform_class.h"
#include "payload/extract.h"
#include "platform/os.h"

namespace {

// A file held by another process is tried again after each of three waits of
// five seconds, so a lock costs at most four attempts and 15 seconds.
constexpr int kMaxWaits = 3;
constexpr int kWaitSeconds = 5;

}  // namespace

bool copyPayload(const InstallContext& context, const PayloadEntry& entry) {
    if (!crtVariantApplies(entry.crtVariant, context.runtimeClass)) return true;
    printInfo("Copying \"%s\"...", entry.fileName);
    if (!ensureSubdirs(context, entry.fileName)) return false;
    PathBuffer installedFile;
    if (!buildInstalledPath(context, entry.fileName, installedFile)) return false;
    DWORD result = extractResource(entry.resourceId, installedFile);
    for (int waits = 0; result == ERROR_SHARING_VIOLATION && waits < kMaxWaits; ++waits) {
        printInfo("\n  retry in %d sec", kWaitSeconds);
        for (int second = 0; second < kWaitSeconds; ++second) {
            os::Sleep(1000);
            printInfo(".");  // each second is shown as it passes
        }
        // A whole new extraction: the file is created anew, the stream inflated from its start.
        result = extractResource(entry.resourceId, installedFile);
    }
    if (result != 0) {
        printError(" failed: 0x%08lx\n", static_cast<unsigned long>(result));
        return false;
    }
    printInfo(" ok\n");
    return true;
}
