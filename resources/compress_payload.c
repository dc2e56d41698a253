/* compress_payload INPUT OUTPUT: the build's payload compressor, run on the
 * build machine. Writes INPUT as exactly one zlib stream (header 0x78 0x01,
 * deflate at the fastest level, Adler-32 trailer) and nothing else, which is
 * what the installer inflates from its resources. Reads and compresses in
 * chunks, so a payload of any size fits in little memory. The stream goes to
 * OUTPUT.tmp first and is renamed at the end, so a failed run never leaves an
 * OUTPUT that looks up to date. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "miniz.h"

enum { kChunk = 256 * 1024 };

static unsigned char inBuffer[kChunk];
static unsigned char outBuffer[kChunk];

static int fail(const char* what, const char* path) {
    fprintf(stderr, "compress_payload: %s \"%s\": %s\n", what, path, strerror(errno));
    return 0;
}

/* Deflates everything from `in` to `out`; 0 after printing why it failed. */
static int compressStream(FILE* in, const char* inPath, FILE* out, const char* outPath) {
    mz_stream stream;
    memset(&stream, 0, sizeof stream);
    if (mz_deflateInit2(&stream, MZ_BEST_SPEED, MZ_DEFLATED, MZ_DEFAULT_WINDOW_BITS, 9, MZ_DEFAULT_STRATEGY) !=
        MZ_OK) {
        fprintf(stderr, "compress_payload: cannot set up the compressor\n");
        return 0;
    }
    int ok = 1;
    int first = 1;
    int finished = 0;
    while (ok && !finished) {
        size_t got = fread(inBuffer, 1, sizeof inBuffer, in);
        if (ferror(in)) {
            ok = fail("cannot read payload file", inPath);
            break;
        }
        int flush = feof(in) ? MZ_FINISH : MZ_NO_FLUSH;
        stream.next_in = inBuffer;
        stream.avail_in = (unsigned int)got;
        do {
            stream.next_out = outBuffer;
            stream.avail_out = sizeof outBuffer;
            int status = mz_deflate(&stream, flush);
            if (status != MZ_OK && status != MZ_STREAM_END && status != MZ_BUF_ERROR) {
                fprintf(stderr, "compress_payload: deflate failed on \"%s\": %d\n", inPath, status);
                ok = 0;
                break;
            }
            size_t produced = sizeof outBuffer - stream.avail_out;
            if (first && produced >= 2 && (outBuffer[0] != 0x78 || outBuffer[1] != 0x01)) {
                fprintf(stderr, "compress_payload: unexpected zlib header %02x %02x\n", outBuffer[0], outBuffer[1]);
                ok = 0;
                break;
            }
            if (produced > 0) first = 0;
            if (fwrite(outBuffer, 1, produced, out) != produced) {
                ok = fail("cannot write", outPath);
                break;
            }
            if (status == MZ_STREAM_END) finished = 1;
        } while (stream.avail_out == 0 || (flush == MZ_FINISH && !finished));
    }
    mz_deflateEnd(&stream);
    return ok;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: compress_payload INPUT OUTPUT\n");
        return 2;
    }
    const char* inPath = argv[1];
    const char* outPath = argv[2];
    FILE* in = fopen(inPath, "rb");
    if (!in) {
        fail("cannot read payload file", inPath);
        return 1;
    }
    size_t tmpLength = strlen(outPath) + 5;
    char* tmpPath = malloc(tmpLength);
    if (!tmpPath) {
        fclose(in);
        return 1;
    }
    snprintf(tmpPath, tmpLength, "%s.tmp", outPath);
    FILE* out = fopen(tmpPath, "wb");
    if (!out) {
        fail("cannot create", tmpPath);
        fclose(in);
        free(tmpPath);
        return 1;
    }
    int ok = compressStream(in, inPath, out, tmpPath);
    fclose(in);
    if (fclose(out) != 0 && ok) ok = fail("cannot write", tmpPath);
    if (ok && rename(tmpPath, outPath) != 0) ok = fail("cannot rename", tmpPath);
    if (!ok) remove(tmpPath);
    free(tmpPath);
    return ok ? 0 : 1;
}
