#include "services/termination.h"

#include "app/console.h"
#include "platform/os.h"
#include "services/installed_file.h"
#include "services/same_file.h"

namespace {

constexpr DWORD kFirstIdBufferBytes = 1024;
// Far beyond any real process count; keeps the doubling from overflowing.
constexpr DWORD kLargestIdBufferBytes = 0x10000000;
constexpr DWORD kMatchAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// A growable array of process ids in a heap block of exactly `count` ids.
struct IdList {
    DWORD* ids;
    DWORD count;
};

// The ids of all processes. A full buffer may have been too small, so it is
// doubled until the platform leaves part of it unused. False with `code`
// when a call or an allocation failed (code 0: the platform gave no reason).
bool enumerateProcesses(IdList& list, DWORD& code) {
    DWORD size = kFirstIdBufferBytes;
    for (;;) {
        auto* grown = static_cast<DWORD*>(os::realloc(list.ids, size));
        if (!grown) {
            code = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        list.ids = grown;
        DWORD filled = 0;
        if (!os::K32EnumProcesses(list.ids, size, &filled)) {
            code = os::GetLastError();
            return false;
        }
        if (filled < size) {
            list.count = static_cast<DWORD>(filled / sizeof(DWORD));
            return true;
        }
        if (size >= kLargestIdBufferBytes) {
            code = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        size *= 2;
    }
}

bool appendId(IdList& list, DWORD id) {
    auto* grown = static_cast<DWORD*>(os::realloc(list.ids, (static_cast<size_t>(list.count) + 1) * sizeof(DWORD)));
    if (!grown) return false;
    list.ids = grown;
    list.ids[list.count++] = id;
    return true;
}

// Whether the process's executable is the installed file. A process that
// cannot be opened or whose image cannot be read simply does not match.
bool runsInstalledFile(DWORD id, const char* installedFile) {
    HANDLE process = os::OpenProcess(kMatchAccess, FALSE, id);
    if (!process) return false;
    char image[MAX_PATH];
    DWORD length = os::K32GetModuleFileNameExA(process, nullptr, image, MAX_PATH);
    os::CloseHandle(process);
    return length != 0 && isSameFile(installedFile, image);
}

// The matches among the scanned ids, in enumeration order. False when the
// match list cannot grow; the matches found until then are kept.
bool matchProcesses(const IdList& all, const char* installedFile, IdList& matches) {
    for (DWORD i = 0; i < all.count; ++i) {
        if (runsInstalledFile(all.ids[i], installedFile) && !appendId(matches, all.ids[i])) return false;
    }
    return true;
}

// The id is opened again: termination needs other access than the match.
void killProcess(DWORD id) {
    printInfo("  will kill process %u... ", static_cast<unsigned>(id));
    DWORD code = 0;
    HANDLE process = os::OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (!process) {
        code = os::GetLastError();
    } else {
        // Termination is requested, not awaited.
        if (!os::TerminateProcess(process, 0)) code = os::GetLastError();
        os::CloseHandle(process);
    }
    if (code == 0) {
        printInfo("ok\n");
    } else {
        printWarning("failed: 0x%08lx. Will attempt to continue...\n", static_cast<unsigned long>(code));
    }
}

void warnEnumeration(DWORD code) {
    printWarning("  failed to enum processes: 0x%08lx. Will attempt to continue...\n",
                 static_cast<unsigned long>(code));
}

}  // namespace

bool killProcesses(InstallContext& context, const PayloadEntry& entry) {
    PathBuffer installedFile;
    InstalledFile located = locateInstalledFile(context, entry, installedFile);
    if (located == InstalledFile::TooLong) return false;
    if (located == InstalledFile::Skipped) return true;

    printInfo("Checking processes for \"%s\"...\n", entry.fileName);
    IdList all{nullptr, 0};
    DWORD code = 0;
    if (!enumerateProcesses(all, code)) {
        os::free(all.ids);
        // A failure without a reason counts as no process at all.
        if (code != 0) warnEnumeration(code);
        return true;
    }
    IdList matches{nullptr, 0};
    bool complete = matchProcesses(all, installedFile, matches);
    os::free(all.ids);
    // Out of memory while matching: say so, and still end the processes found.
    if (!complete) warnEnumeration(ERROR_NOT_ENOUGH_MEMORY);
    for (DWORD i = 0; i < matches.count; ++i) killProcess(matches.ids[i]);
    os::free(matches.ids);
    return true;
}
