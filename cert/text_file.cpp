#include "cert/text_file.h"

#include <cstring>

#include "platform/os.h"

int writeTextFile(const char* path, const char* text) {
    size_t length = std::strlen(text);
    os::FILE* file = os::fopen(path, "w");
    if (!file) return -1;
    size_t written = os::fwrite(text, 1, length, file);
    int closed = os::fclose(file);
    return written == length && closed == 0 ? 0 : -1;
}
