#include "services/same_file.h"

#include "platform/os.h"

namespace {

HANDLE openForIdentity(const char* path) {
    return os::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
}

}  // namespace

bool isSameFile(const char* pathA, const char* pathB) {
    HANDLE fileA = openForIdentity(pathA);
    HANDLE fileB = openForIdentity(pathB);
    bool same = false;
    if (fileA != INVALID_HANDLE_VALUE && fileB != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION infoA;
        BY_HANDLE_FILE_INFORMATION infoB;
        if (os::GetFileInformationByHandle(fileA, &infoA) && os::GetFileInformationByHandle(fileB, &infoB)) {
            same = infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
                   infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
        }
    }
    if (fileA != INVALID_HANDLE_VALUE) os::CloseHandle(fileA);
    if (fileB != INVALID_HANDLE_VALUE) os::CloseHandle(fileB);
    return same;
}
