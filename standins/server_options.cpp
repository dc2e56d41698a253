#include "server_options.h"

#include <cstdio>
#include <cwchar>

namespace {

// Matches "--name=" at the start of arg; returns the text after it or nullptr.
const wchar_t* valueOf(const wchar_t* arg, const wchar_t* prefix) {
    size_t n = std::wcslen(prefix);
    return std::wcsncmp(arg, prefix, n) == 0 ? arg + n : nullptr;
}

bool parseMs(const wchar_t* text, DWORD& out) {
    if (*text == L'\0') {
        return false;
    }
    unsigned long long value = 0;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p < L'0' || *p > L'9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long long>(*p - L'0');
        if (value > 0xFFFFFFFFull) {
            return false;
        }
    }
    out = static_cast<DWORD>(value);
    return true;
}

}  // namespace

bool parseServerOptions(int argc, wchar_t** argv, ServerOptions& options) {
    options.wait = false;
    options.ignoreStop = false;
    options.startMs = 0;
    options.stopMs = 0;
    options.stopHint = 2000;
    options.markFile[0] = L'\0';
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        const wchar_t* value = nullptr;
        bool ok = true;
        if (std::wcscmp(arg, L"--wait") == 0) {
            options.wait = true;
        } else if (std::wcscmp(arg, L"--ignore-stop") == 0) {
            options.ignoreStop = true;
        } else if ((value = valueOf(arg, L"--start-ms=")) != nullptr) {
            ok = parseMs(value, options.startMs);
        } else if ((value = valueOf(arg, L"--stop-ms=")) != nullptr) {
            ok = parseMs(value, options.stopMs);
        } else if ((value = valueOf(arg, L"--stop-hint=")) != nullptr) {
            ok = parseMs(value, options.stopHint);
        } else if ((value = valueOf(arg, L"--mark-file=")) != nullptr) {
            size_t n = std::wcslen(value);
            ok = n > 0 && n < MAX_PATH;
            if (ok) {
                std::wmemcpy(options.markFile, value, n + 1);
            }
        } else {
            ok = false;
        }
        if (!ok) {
            std::fwprintf(stderr,
                          L"bad argument: %ls\nusage: qmx.ua.kyt.exe [--wait] [--start-ms=N] "
                          L"[--stop-ms=N] [--stop-hint=N] [--ignore-stop] [--mark-file=PATH]\n",
                          arg);
            return false;
        }
    }
    return true;
}
