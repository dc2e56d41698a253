// Resource calls of the Windows binding: the program's own module and the
// payloads in its image (KERNEL32).
#pragma once

#include <windows.h>

namespace os {
using ::GetModuleHandleW;
using ::FindResourceW;
using ::LoadResource;
using ::SizeofResource;
using ::LockResource;
}  // namespace os
