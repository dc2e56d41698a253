#include "services/command_line.h"

#include "platform/os.h"

namespace {

// The block of `argc` pointers and, behind them, the ANSI copies of the wide
// arguments; null when a size query, the allocation or a conversion fails.
char** ansiBlock(LPWSTR* wide, int argc) {
    size_t pointers = static_cast<size_t>(argc) * sizeof(char*);
    size_t total = pointers;
    for (int i = 0; i < argc; ++i) {
        int length = os::WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        if (length <= 0) return nullptr;
        total += static_cast<size_t>(length);
    }
    auto* block = static_cast<char*>(os::LocalAlloc(LMEM_FIXED, total));
    if (!block) return nullptr;
    char** argv = reinterpret_cast<char**>(block);
    char* text = block + pointers;
    size_t left = total - pointers;
    for (int i = 0; i < argc; ++i) {
        int length = os::WideCharToMultiByte(CP_ACP, 0, wide[i], -1, text, static_cast<int>(left), nullptr, nullptr);
        if (length <= 0) {
            os::LocalFree(block);
            return nullptr;
        }
        argv[i] = text;
        text += length;
        left -= static_cast<size_t>(length);
    }
    return argv;
}

}  // namespace

char** splitCommandLine(const char* commandLine, int& count) {
    // The platform splits wide text only; the line goes over and back through
    // the ANSI code page, refusing bytes that the code page does not define.
    int wideLength = os::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, commandLine, -1, nullptr, 0);
    if (wideLength <= 0) return nullptr;
    auto* wide = static_cast<WCHAR*>(os::malloc(static_cast<size_t>(wideLength) * sizeof(WCHAR)));
    if (!wide) return nullptr;
    if (os::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, commandLine, -1, wide, wideLength) <= 0) {
        os::free(wide);
        return nullptr;
    }
    int argc = 0;
    LPWSTR* split = os::CommandLineToArgvW(wide, &argc);
    os::free(wide);
    if (!split) return nullptr;
    char** argv = ansiBlock(split, argc);
    os::LocalFree(split);
    if (argv) count = argc;
    return argv;
}
