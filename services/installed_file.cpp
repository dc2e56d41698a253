#include "services/installed_file.h"

#include "app/destination.h"
#include "app/platform_class.h"
#include "platform/os.h"

InstalledFile locateInstalledFile(const InstallContext& context, const PayloadEntry& entry, PathBuffer& path) {
    if (!crtVariantApplies(entry.crtVariant, context.runtimeClass)) return InstalledFile::Skipped;
    // Only executables run as services or processes.
    if (!hasExeSuffix(entry.fileName)) return InstalledFile::Skipped;
    if (!buildInstalledPath(context, entry.fileName, path)) return InstalledFile::TooLong;
    // Not installed yet (a first installation): nothing can run it.
    if (!os::PathFileExistsA(path)) return InstalledFile::Skipped;
    return InstalledFile::Present;
}
