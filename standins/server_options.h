// Switches of the stand-in server, read from the process command line.
#pragma once

#include <windows.h>

struct ServerOptions {
    bool wait;                 // console mode: keep running until killed
    bool ignoreStop;           // service: accept STOP, keep running
    DWORD startMs;             // service: time spent start pending
    DWORD stopMs;              // service: time spent stop pending
    DWORD stopHint;            // service: wait hint reported while stop pending
    wchar_t markFile[MAX_PATH];  // service: append the build mark here (empty: no log)
};

// Fills `options` from argv[1..]; false (with a message on stderr) on a bad switch.
bool parseServerOptions(int argc, wchar_t** argv, ServerOptions& options);
