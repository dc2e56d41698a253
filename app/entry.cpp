#include "app/entry.h"

#include "app/console.h"
#include "app/run.h"
#include "platform/os.h"

const char kBanner[] = "qmx installer 3.11.0.0, 64-bit";

namespace {

void printUsage() {
    printInfo("%s\n\n", kBanner);
    printInfo("OPTIONS\n");
    printInfo("  /%s\n", "help");
    printInfo("      %s\n", "show this help");
}

}  // namespace

int installerMain(int argc, char** /*argv*/) {
    // Before anything can load a DLL: only System32 may supply one, never the
    // folder the installer was started from.
    os::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    if (argc >= 2) {
        // The only option is the help request ("help" or "?", bare or after
        // one '-' or '/'); any other argument gets the same usage block, and
        // nothing on the machine is touched either way.
        printUsage();
        return 1;
    }

    printInfo("%s\n", kBanner);
    InstallContext context{};
    bool succeeded = runInstallation(context);
    releaseServiceList(context.services);
    if (!succeeded) {
        printInfo("installation FAILED.\n");
        return 1;
    }
    printInfo("installation SUCCEEDED!\n");
    return 0;
}
