#include <cstring>

#include "app/context.h"
#include "platform/os.h"

namespace {

char* copyString(const char* text) {
    size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(os::malloc(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

}  // namespace

bool appendService(ServiceList& list, const char* fileName, const char* serviceName, uint32_t state) {
    char* fileCopy = copyString(fileName);
    char* nameCopy = fileCopy ? copyString(serviceName) : nullptr;
    auto* grown = nameCopy ? static_cast<ServiceEntry*>(
                                 os::realloc(list.entries, static_cast<size_t>(list.count + 1) * sizeof(ServiceEntry)))
                           : nullptr;
    if (!grown) {
        os::free(nameCopy);
        os::free(fileCopy);
        return false;
    }
    list.entries = grown;
    list.entries[list.count] = ServiceEntry{fileCopy, nameCopy, state};
    ++list.count;
    return true;
}

void releaseServiceList(ServiceList& list) {
    for (uint64_t i = 0; i < list.count; ++i) {
        os::free(list.entries[i].fileName);
        os::free(list.entries[i].serviceName);
    }
    os::free(list.entries);
    list.entries = nullptr;
    list.count = 0;
}
