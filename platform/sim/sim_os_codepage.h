// Code-page conversion calls of the simulated binding (KERNEL32 on Windows).
#pragma once

#include "platform/sim/sim_types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

namespace os {

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, BOOL* usedDefault);

}  // namespace os
