#include "platform/sim/codepage.h"

#include "platform/sim/machine.h"
#include "platform/sim/sim_os.h"

namespace sim {
namespace {

// Code page 1252 between 0x80 and 0x9F; 0 marks the five undefined bytes.
const wchar_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The UTF-16 unit of one byte, or 0 when the byte is undefined in 1252.
wchar_t toWide(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kHigh1252[byte - 0x80];
    return static_cast<wchar_t>(byte);
}

// The byte of one UTF-16 unit, or -1 when 1252 has no byte for it.
int toAnsi(wchar_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<int>(unit);
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] != 0 && kHigh1252[i] == unit) return 0x80 + i;
    }
    return -1;
}

}  // namespace

std::wstring ansiToWide(const std::string& ansi) {
    std::wstring out;
    for (unsigned char c : ansi) {
        wchar_t w = toWide(c);
        out += w ? w : static_cast<wchar_t>(c);
    }
    return out;
}

}  // namespace sim

namespace os {

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength) {
    if (sim::injectedFailure("MultiByteToWideChar")) return 0;
    if (codePage != CP_ACP || !text || length == 0 || wideLength < 0) {
        sim::setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = length < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(length);
    for (size_t i = 0; i < count; ++i) {
        if ((flags & MB_ERR_INVALID_CHARS) && text[i] != 0 && sim::toWide(static_cast<unsigned char>(text[i])) == 0) {
            sim::setLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    }
    if (wideLength == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(wideLength)) {
        sim::setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        wchar_t w = sim::toWide(byte);
        wide[i] = w ? w : static_cast<wchar_t>(byte);  // without the flag an undefined byte maps through
    }
    return static_cast<int>(count);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR text, int length, LPCSTR,
                        BOOL* usedDefault) {
    if (sim::injectedFailure("WideCharToMultiByte")) return 0;
    if (codePage != CP_ACP || !wide || wideLength == 0 || length < 0) {
        sim::setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = wideLength < 0 ? std::char_traits<wchar_t>::length(wide) + 1 : static_cast<size_t>(wideLength);
    if (usedDefault) *usedDefault = FALSE;
    if (length == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(length)) {
        sim::setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        int byte = sim::toAnsi(wide[i]);
        if (byte < 0) {
            byte = '?';
            if (usedDefault) *usedDefault = TRUE;
        }
        text[i] = static_cast<char>(byte);
    }
    return static_cast<int>(count);
}

}  // namespace os
