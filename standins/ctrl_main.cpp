// Stand-in for the product's control program: it says which build it is and,
// with --wait, stays alive so that a test has a running process on the file.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    bool wait = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wait") == 0) {
            wait = true;
        } else {
            std::fprintf(stderr, "unknown argument: %s\nusage: qmx.ua.kyt.ctrl.exe [--wait]\n",
                         argv[i]);
            return 2;
        }
    }
    std::printf("qmx.ua.kyt.ctrl.exe build %s\n", QMX_BUILD_MARK);
    // A test reads the line from a file while the process keeps running.
    std::fflush(stdout);
    while (wait) {
        Sleep(60000);
    }
    return 0;
}
