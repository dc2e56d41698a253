// Stand-in for the product's server: a service when the service manager starts
// it, otherwise a console program that says which build it is.
#include <windows.h>

#include <cstdio>

#include "server_options.h"
#include "server_service.h"

int wmain(int argc, wchar_t** argv) {
    static ServerOptions options;
    if (!parseServerOptions(argc, argv, options)) {
        return 2;
    }
    DWORD error = 0;
    if (runAsService(options, error)) {
        return 0;
    }
    if (error != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        std::fprintf(stderr, "service dispatcher failed: %lu\n", error);
        return 1;
    }
    std::printf("qmx.ua.kyt.exe build %s\n", QMX_BUILD_MARK);
    std::fflush(stdout);
    while (options.wait) {
        Sleep(60000);
    }
    return 0;
}
