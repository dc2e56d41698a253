// The installation folder Morvane\QMX.UA\kyt\ below Program Files, and the
// folders of installed files that live below it.
#pragma once

#include "app/context.h"

// Reads the ProgramFiles variable into the context.
bool readProgramFiles(InstallContext& context);
// Builds destinationPath, creates its three folder levels and prints it.
bool prepareDestination(InstallContext& context);
// Creates every folder named before the last backslash of `relativePath`,
// below the destination. Reports its own failures, behind an open progress line.
bool ensureSubdirs(const InstallContext& context, const char* relativePath);
// path = destinationPath followed directly by `relativePath`. A path that
// does not fit prints "internal error" in red and returns false.
bool buildInstalledPath(const InstallContext& context, const char* relativePath, PathBuffer& path);
