#include "app/paths.h"

#include <cstring>

bool appendPathPart(PathBuffer& target, const char* text, size_t count) {
    size_t used = strnlen(target, kPathCapacity);
    if (used >= kPathCapacity || count > kPathCapacity - 1 - used) return false;
    std::memcpy(target + used, text, count);
    target[used + count] = '\0';
    return true;
}

bool appendPath(PathBuffer& target, const char* text) { return appendPathPart(target, text, std::strlen(text)); }

bool copyPath(PathBuffer& target, const char* source) {
    size_t length = std::strlen(source);
    if (length > kPathCapacity - 1) return false;
    std::memcpy(target, source, length + 1);
    return true;
}

bool joinPath(PathBuffer& target, const char* directory, const char* name) {
    PathBuffer work;
    if (!copyPath(work, directory) || !appendPath(work, name)) return false;
    std::memcpy(target, work, kPathCapacity);
    return true;
}

bool hasExeSuffix(const char* fileName) {
    size_t length = std::strlen(fileName);
    if (length < 4) return false;
    const char* suffix = fileName + length - 4;
    const char expected[] = ".exe";
    for (int i = 0; i < 4; ++i) {
        char c = suffix[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != expected[i]) return false;
    }
    return true;
}
