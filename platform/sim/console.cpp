#include "platform/sim/console.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/sim/internal.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_os.h"

namespace sim {
namespace {

struct Piece {
    WORD attributes;
    std::string text;
};

struct Console {
    WORD defaultAttributes = 7;
    WORD attributes = 7;
    bool redirected = false;
    unsigned changes = 0;
    std::string pending;  // written but not flushed
    std::vector<Piece> pieces;
    std::string plain;                                   // every flushed text, in order
    std::vector<std::pair<uint64_t, size_t>> flushes;  // (simulated time, plain length after)
};

Console& console() {
    static Console c;
    return c;
}

os::FILE stdoutObject{1, nullptr};
HANDLE const kStdoutHandle = reinterpret_cast<HANDLE>(uintptr_t(0x54));

void resetConsole() { console() = Console{}; }

std::string consoleLeaks() {
    return console().pending.empty() ? "" : "standard output not flushed: \"" + console().pending + "\"\n";
}

bool registered = registerDevice(Device{"console", resetConsole, consoleLeaks});

void flushPending() {
    Console& c = console();
    if (c.pending.empty()) return;
    if (!c.pieces.empty() && c.pieces.back().attributes == c.attributes) {
        c.pieces.back().text += c.pending;
    } else {
        c.pieces.push_back(Piece{c.attributes, c.pending});
    }
    c.plain += c.pending;
    c.flushes.emplace_back(now(), c.plain.size());
    c.pending.clear();
}

}  // namespace

void setConsole(WORD defaultAttributes, bool redirected) {
    Console& c = console();
    c.defaultAttributes = defaultAttributes;
    c.attributes = defaultAttributes;
    c.redirected = redirected;
}

std::string transcript() {
    const Console& c = console();
    std::string out;
    for (const Piece& p : c.pieces) {
        if (p.attributes == c.defaultAttributes) {
            out += p.text;
        } else {
            out += "[" + std::to_string(p.attributes) + "]" + p.text + "[/]";
        }
    }
    return out;
}

std::string plainOutput() {
    std::string out;
    for (const Piece& p : console().pieces) out += p.text;
    return out;
}

std::string plainOutputAt(uint64_t ms) {
    const Console& c = console();
    size_t length = 0;
    for (const auto& flush : c.flushes) {
        if (flush.first <= ms) length = flush.second;
    }
    return c.plain.substr(0, length);
}

std::string unflushedOutput() { return console().pending; }

WORD currentAttributes() { return console().attributes; }

unsigned attributeChanges() { return console().changes; }

}  // namespace sim

namespace os {

HANDLE GetStdHandle(DWORD which) {
    if (sim::injectedFailure("GetStdHandle")) return INVALID_HANDLE_VALUE;
    if (which != STD_OUTPUT_HANDLE) {
        sim::setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return sim::kStdoutHandle;
}

BOOL GetConsoleScreenBufferInfo(HANDLE handle, CONSOLE_SCREEN_BUFFER_INFO* info) {
    if (sim::injectedFailure("GetConsoleScreenBufferInfo")) return FALSE;
    if (handle != sim::kStdoutHandle || sim::console().redirected) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *info = CONSOLE_SCREEN_BUFFER_INFO{};
    info->dwSize = COORD{120, 9000};
    info->wAttributes = sim::console().attributes;
    info->srWindow = SMALL_RECT{0, 0, 119, 29};
    info->dwMaximumWindowSize = COORD{120, 60};
    return TRUE;
}

BOOL SetConsoleTextAttribute(HANDLE handle, WORD attributes) {
    if (sim::injectedFailure("SetConsoleTextAttribute")) return FALSE;
    if (handle != sim::kStdoutHandle || sim::console().redirected) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (attributes != sim::console().attributes) ++sim::console().changes;
    sim::console().attributes = attributes;
    return TRUE;
}

FILE* stdoutStream() { return &sim::stdoutObject; }

int vprintf(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return length;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    sim::console().pending += text;
    return length;
}

int fflush(FILE* stream) {
    if (stream == &sim::stdoutObject || stream == nullptr) {
        sim::flushPending();
        return 0;
    }
    return sim::detail::flushFileStream(stream);
}

}  // namespace os
