// CommandLineToArgvW of the simulated binding, by the platform's documented
// splitting rules.
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/codepage.h"
#include "platform/sim/machine.h"
#include "platform/sim/processes.h"
#include "platform/sim/sim_os.h"

namespace {

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The program name: up to the next quote when it starts with one, else up to
// the first blank; backslashes and quotes inside it mean nothing.
const wchar_t* programName(const wchar_t* s, std::wstring& out) {
    if (*s == L'"') {
        ++s;
        while (*s && *s != L'"') out += *s++;
        return *s ? s + 1 : s;
    }
    while (*s && !blank(*s)) out += *s++;
    return s;
}

// One later argument: blanks separate unless quoted; 2n backslashes before a
// quote give n backslashes and the quote toggles quoting, 2n+1 give n and a
// literal quote; other backslashes are literal; "" inside quotes is a quote.
const wchar_t* nextArgument(const wchar_t* s, std::wstring& out) {
    bool quoted = false;
    while (*s && (quoted || !blank(*s))) {
        if (*s == L'\\') {
            size_t count = 0;
            while (*s == L'\\') {
                ++count;
                ++s;
            }
            if (*s == L'"') {
                out.append(count / 2, L'\\');
                if (count % 2) {
                    out += L'"';
                    ++s;
                }
            } else {
                out.append(count, L'\\');
            }
        } else if (*s == L'"') {
            if (quoted && s[1] == L'"') {
                out += L'"';
                s += 2;
            } else {
                quoted = !quoted;
                ++s;
            }
        } else {
            out += *s++;
        }
    }
    return s;
}

}  // namespace

namespace os {

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount) {
    if (sim::injectedFailure("CommandLineToArgvW")) return nullptr;
    if (!commandLine || !argumentCount) {
        sim::setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::wstring> arguments(1);
    if (*commandLine == 0) {
        arguments[0] = sim::ansiToWide(sim::kInstallerImage);  // an empty line names the running program
    } else {
        const wchar_t* s = programName(commandLine, arguments[0]);
        for (;;) {
            while (blank(*s)) ++s;
            if (!*s) break;
            arguments.emplace_back();
            s = nextArgument(s, arguments.back());
        }
    }
    size_t pointers = (arguments.size() + 1) * sizeof(LPWSTR);
    size_t size = pointers;
    for (const std::wstring& a : arguments) size += (a.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<char*>(sim::trackedAlloc("LocalAlloc", size));
    if (!block) {
        sim::setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* argv = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + pointers);
    for (size_t i = 0; i < arguments.size(); ++i) {
        argv[i] = text;
        std::memcpy(text, arguments[i].c_str(), (arguments[i].size() + 1) * sizeof(WCHAR));
        text += arguments[i].size() + 1;
    }
    argv[arguments.size()] = nullptr;
    *argumentCount = static_cast<int>(arguments.size());
    return argv;
}

}  // namespace os
