// Bounded building of the installer's paths. Every path lives in a 260-byte
// buffer (259 characters and the NUL); an operation that would not fit leaves
// the buffer as it was and returns false, and the caller reports
// "internal error" and fails its step.
#pragma once

#include <cstddef>

constexpr size_t kPathCapacity = 260;
using PathBuffer = char[kPathCapacity];

bool copyPath(PathBuffer& target, const char* source);
bool appendPath(PathBuffer& target, const char* text);
// Appends exactly `count` characters of `text`.
bool appendPathPart(PathBuffer& target, const char* text, size_t count);
// target = directory followed directly by name.
bool joinPath(PathBuffer& target, const char* directory, const char* name);

// Whether a file name ends in ".exe", compared without regard to ASCII case.
bool hasExeSuffix(const char* fileName);
