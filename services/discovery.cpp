#include "services/discovery.h"

#include <cstring>

#include "app/console.h"
#include "platform/os.h"
#include "services/command_line.h"
#include "services/installed_file.h"
#include "services/same_file.h"
#include "services/state_names.h"

namespace {

// One buffer serves every batch of the enumeration.
constexpr DWORD kEnumBufferSize = 16384;

// Whether the service's configured program is the installed file. Any
// service that cannot be examined simply does not match.
bool runsInstalledFile(SC_HANDLE manager, const char* serviceName, const char* installedFile) {
    SC_HANDLE service = os::OpenServiceA(manager, serviceName, SERVICE_QUERY_CONFIG);
    if (!service) return false;
    bool matches = false;
    DWORD size = 0;
    if (!os::QueryServiceConfigA(service, nullptr, 0, &size) && os::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        auto* config = static_cast<QUERY_SERVICE_CONFIGA*>(os::malloc(size));
        if (config && os::QueryServiceConfigA(service, config, size, &size)) {
            int count = 0;
            char** argv = splitCommandLine(config->lpBinaryPathName, count);
            if (argv) {
                // Exactly as configured: no variables expanded, no search path.
                matches = isSameFile(installedFile, argv[0]);
                os::LocalFree(argv);
            }
        }
        os::free(config);
    }
    os::CloseServiceHandle(service);
    return matches;
}

}  // namespace

uint32_t enumServicesForFile(const char* installedFile, const char* fileName, ServiceList& list) {
    SC_HANDLE manager = os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) return os::GetLastError();
    auto* records = static_cast<ENUM_SERVICE_STATUSA*>(os::malloc(kEnumBufferSize));
    if (!records) {
        os::CloseServiceHandle(manager);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    DWORD resume = 0;
    DWORD needed = 0;
    DWORD returned = 0;
    DWORD code = 0;
    do {
        // A failed call may leave the count of the previous batch behind;
        // only what this call returned is examined.
        returned = 0;
        code = os::EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL, records, kEnumBufferSize, &needed,
                                       &returned, &resume)
                   ? 0
                   : os::GetLastError();
        // A batch that ends with ERROR_MORE_DATA still delivers its records.
        for (DWORD i = 0; i < returned; ++i) {
            const ENUM_SERVICE_STATUSA& record = records[i];
            if (!runsInstalledFile(manager, record.lpServiceName, installedFile)) continue;
            if (!appendService(list, fileName, record.lpServiceName, record.ServiceStatus.dwCurrentState)) {
                // A service that cannot be recorded ends the enumeration like
                // any other failure: what is recorded stays and is acted on.
                code = ERROR_NOT_ENOUGH_MEMORY;
                break;
            }
        }
    } while (code == ERROR_MORE_DATA);
    os::free(records);
    os::CloseServiceHandle(manager);
    return code;
}

bool discoverServices(InstallContext& context, const PayloadEntry& entry) {
    PathBuffer installedFile;
    InstalledFile located = locateInstalledFile(context, entry, installedFile);
    if (located == InstalledFile::TooLong) return false;
    if (located == InstalledFile::Skipped) return true;

    printInfo("Discovering services for \"%s\"...\n", entry.fileName);
    uint32_t code = enumServicesForFile(installedFile, entry.fileName, context.services);
    if (code != 0) {
        printWarning("  failed to enum services: 0x%08lx. Will attempt to continue...\n",
                     static_cast<unsigned long>(code));
        return true;
    }
    // The list holds the other payload's services too; only this file's are listed.
    for (uint64_t i = 0; i < context.services.count; ++i) {
        const ServiceEntry& service = context.services.entries[i];
        if (std::strcmp(service.fileName, entry.fileName) != 0) continue;
        printInfo("  %s -> %s\n", service.serviceName, serviceStateName(service.state));
    }
    return true;
}
