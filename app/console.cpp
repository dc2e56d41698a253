#include "app/console.h"

#include <cstdarg>

#include "platform/os.h"

namespace {

// Every message is flushed before its call returns, so text and colour reach
// the console together and a plain line never lingers in a buffer while the
// attributes change.
void writeFlushed(const char* format, va_list args) {
    os::vprintf(format, args);
    os::fflush(os::stdoutStream());
}

void printColoured(WORD attributes, const char* format, va_list args) {
    HANDLE out = os::GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    // Redirected output has no console state; the text is then written as it
    // is, and nothing is restored that was never read.
    bool console = os::GetConsoleScreenBufferInfo(out, &info) != FALSE;
    if (console) os::SetConsoleTextAttribute(out, attributes);
    writeFlushed(format, args);
    if (console) os::SetConsoleTextAttribute(out, info.wAttributes);
}

}  // namespace

void printInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeFlushed(format, args);
    va_end(args);
}

void printWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printColoured(kWarningAttributes, format, args);
    va_end(args);
}

void printError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printColoured(kErrorAttributes, format, args);
    va_end(args);
}
