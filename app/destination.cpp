#include "app/destination.h"

#include <cstring>

#include "app/console.h"
#include "platform/os.h"

namespace {

// 0 when the folder was made or already exists (a file of that name counts:
// the failure shows when something is written below it), else the cause.
DWORD createFolder(const char* path) {
    if (os::CreateDirectoryA(path, nullptr)) return 0;
    DWORD code = os::GetLastError();
    return code == ERROR_ALREADY_EXISTS ? 0 : code;
}

bool createFolderReported(const char* path) {
    DWORD code = createFolder(path);
    if (code == 0) return true;
    printError("Failed to create dir \"%s\": 0x%08lx\n", path, static_cast<unsigned long>(code));
    return false;
}

bool internalError() {
    printError("internal error\n");
    return false;
}

}  // namespace

bool readProgramFiles(InstallContext& context) {
    std::memset(context.programFilesPath, 0, sizeof context.programFilesPath);
    DWORD length = os::GetEnvironmentVariableA("ProgramFiles", context.programFilesPath, kPathCapacity);
    if (length == 0) {
        DWORD code = os::GetLastError();
        if (code != 0) {
            printError("Failed to get \"Program Files\": 0x%08lx\n", static_cast<unsigned long>(code));
            return false;
        }
        return true;  // the variable exists and is empty
    }
    if (length >= kPathCapacity) {
        // The value does not fit: the platform reported the size it would
        // need and left the buffer undefined.
        std::memset(context.programFilesPath, 0, sizeof context.programFilesPath);
        return internalError();
    }
    return true;
}

bool prepareDestination(InstallContext& context) {
    PathBuffer& path = context.destinationPath;
    if (!copyPath(path, context.programFilesPath)) return internalError();
    size_t length = std::strlen(path);
    if (length == 0 || path[length - 1] != '\\') {
        if (!appendPath(path, "\\")) return internalError();
    }
    const char* const levels[] = {"Morvane", "QMX.UA", "kyt"};
    for (const char* level : levels) {
        if (!appendPath(path, level)) return internalError();
        if (!createFolderReported(path)) return false;
        if (!appendPath(path, "\\")) return internalError();
    }
    printInfo("Destination: %s\n", path);
    return true;
}

bool buildInstalledPath(const InstallContext& context, const char* relativePath, PathBuffer& path) {
    return joinPath(path, context.destinationPath, relativePath) || internalError();
}

bool ensureSubdirs(const InstallContext& context, const char* relativePath) {
    PathBuffer work;
    if (!copyPath(work, context.destinationPath)) return internalError();
    const char* rest = relativePath;
    for (;;) {
        const char* separator = std::strchr(rest, '\\');
        if (!separator) return true;
        if (!appendPathPart(work, rest, static_cast<size_t>(separator - rest))) return internalError();
        DWORD code = createFolder(work);
        if (code != 0) {
            // Ends the caller's open progress line and indents the reason.
            printInfo("\n  ");
            printError("Failed to create dir \"%s\": 0x%08lx\n", work, static_cast<unsigned long>(code));
            return false;
        }
        if (!appendPath(work, "\\")) return internalError();
        rest = separator + 1;
    }
}
