#include "app/run.h"

#include "app/destination.h"
#include "app/platform_class.h"

bool runInstallation(InstallContext& context) {
    detectPlatform(context);
    if (!readProgramFiles(context)) return false;
    if (!prepareDestination(context)) return false;
    return true;
}
