// Where a payload's installed copy lives, and whether a step that examines
// it (discovery, process termination) has anything to look at.
#pragma once

#include "app/context.h"
#include "payload/catalogue.h"

enum class InstalledFile {
    Present,    // the path is built and a file exists there
    Skipped,    // not for this platform, not an executable, or not installed yet
    TooLong,    // the path does not fit; "internal error" has been printed
};

// Builds the destination path followed by the payload's file name.
InstalledFile locateInstalledFile(const InstallContext& context, const PayloadEntry& entry, PathBuffer& path);
