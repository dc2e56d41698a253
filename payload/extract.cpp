#include "payload/extract.h"

#include <miniz.h>

#include "payload/catalogue.h"

namespace {

// Inflate steps until the stream ends, writing the buffer each time it is
// full and once more at the end. 0, a write's cause, or ERROR_FILE_CORRUPT.
DWORD inflateSteps(mz_stream& stream, HANDLE file, unsigned char* buffer) {
    for (;;) {
        // The whole rest of the resource is always offered; MZ_FINISH is never
        // used, so the buffer can be refilled any number of times.
        int status = mz_inflate(&stream, MZ_NO_FLUSH);
        if (status == MZ_STREAM_END || stream.avail_out == 0) {
            DWORD filled = static_cast<DWORD>(kExtractBlockSize - stream.avail_out);
            DWORD written = 0;
            if (!os::WriteFile(file, buffer, filled, &written, nullptr)) return os::GetLastError();
            stream.next_out = buffer;
            stream.avail_out = kExtractBlockSize;
            if (status == MZ_STREAM_END) return 0;
        }
        // Damaged data, a bad Adler-32, a preset dictionary, a window above
        // 32 KiB, or the input used up before the stream's end.
        if (status != MZ_OK || stream.avail_in == 0) return ERROR_FILE_CORRUPT;
    }
}

// Inflates the whole stream into `file` through `buffer`. The inflater's state
// comes from the library's own allocator and is ended on every path.
DWORD inflateInto(HANDLE file, const unsigned char* data, DWORD size, unsigned char* buffer) {
    mz_stream stream{};
    stream.next_in = data;
    stream.avail_in = size;
    stream.next_out = buffer;
    stream.avail_out = kExtractBlockSize;
    if (mz_inflateInit(&stream) != MZ_OK) return ERROR_FILE_CORRUPT;  // no state, nothing to end
    DWORD result = size == 0 ? ERROR_FILE_CORRUPT : inflateSteps(stream, file, buffer);
    mz_inflateEnd(&stream);
    return result;
}

}  // namespace

DWORD extractResource(uint16_t resourceId, const char* installedFile) {
    HMODULE module = os::GetModuleHandleW(nullptr);
    HRSRC found = os::FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(PAYLOAD_RESOURCE_TYPE));
    if (!found) return os::GetLastError();
    HGLOBAL loaded = os::LoadResource(module, found);
    if (!loaded) return os::GetLastError();
    DWORD size = os::SizeofResource(module, found);
    // Read in place from the loaded image: never copied, never released.
    const unsigned char* data = static_cast<const unsigned char*>(os::LockResource(loaded));

    // From here on an existing file has lost its content.
    HANDLE file = os::CreateFileA(installedFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
    if (file == INVALID_HANDLE_VALUE) return os::GetLastError();

    DWORD result = ERROR_NOT_ENOUGH_MEMORY;
    auto* buffer = static_cast<unsigned char*>(os::malloc(kExtractBlockSize));
    if (buffer) {
        result = inflateInto(file, data, size, buffer);
        os::free(buffer);
    }
    os::CloseHandle(file);
    return result;
}
