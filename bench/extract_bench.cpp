// Extraction benchmark: prints figures, checks only that the extractions
// succeeded, asserts nothing about time.
//
// Throughput: the installer's own extractResource (host build, simulated
// machine) against a bare miniz loop on the same stream, with the same
// 512 KiB output buffer allocated per call, in the same process and run,
// alternating, best of several rounds. The simulated WriteFile copies each
// block into the file's memory; for the benchmark the target keeps only its
// last block (sim::keepOnlyLastWrite), and the bare loop copies each block
// into a 512 KiB block the same way, so both sides pay the same copy.
//
// Peak memory: one child process per payload (this program again, with
// --peak), which reads the stream, extracts it once and reports its peak
// resident set (VmHWM); a second child loads the stream without
// extracting, so the extraction's own share can be read off.
//
// Payloads: a ~1.1 MB executable (Wine's wordpad.exe unless a path is given),
// and a 256 MiB payload made of that executable followed by zero bytes, so its
// stream stays small: the stream is held in memory as the installer's image
// holds it, and a payload that compresses badly would measure the size of its
// stream rather than the extraction's working memory.
#include <miniz.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "payload/extract.h"
#include "platform/sim/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/resources.h"

extern char** environ;

namespace {

const char kTarget[] = "C:\\bench\\payload.exe";
constexpr size_t kBigSize = size_t(256) << 20;

bool readWhole(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// One zlib stream at the fastest level, as the build's compressor makes it:
// `head` followed by zero bytes up to `total`, fed in chunks.
std::string deflatePayload(const std::string& head, size_t total) {
    mz_stream s{};
    if (mz_deflateInit(&s, MZ_BEST_SPEED) != MZ_OK) return std::string();
    std::string out;
    std::vector<unsigned char> zeros(1 << 20, 0);
    std::vector<unsigned char> chunk(1 << 20);
    size_t fed = 0;
    int status = MZ_OK;
    while (status != MZ_STREAM_END) {
        if (s.avail_in == 0 && fed < total) {
            size_t n = 0;
            if (fed < head.size()) {
                n = head.size() - fed;
                s.next_in = reinterpret_cast<const unsigned char*>(head.data()) + fed;
            } else {
                n = std::min(zeros.size(), total - fed);
                s.next_in = zeros.data();
            }
            s.avail_in = static_cast<unsigned>(n);
            fed += n;
        }
        s.next_out = chunk.data();
        s.avail_out = static_cast<unsigned>(chunk.size());
        status = mz_deflate(&s, fed == total ? MZ_FINISH : MZ_NO_FLUSH);
        if (status != MZ_OK && status != MZ_STREAM_END && status != MZ_BUF_ERROR) break;
        out.append(reinterpret_cast<char*>(chunk.data()), chunk.size() - s.avail_out);
    }
    mz_deflateEnd(&s);
    return status == MZ_STREAM_END ? out : std::string();
}

// The bare loop: the same inflate calls, buffer and block writes as
// extractResource, the write being a copy into `sink`. Returns the inflated
// size, or 0 on a failure.
size_t bareInflate(const std::string& stream, unsigned char* sink) {
    auto* buffer = static_cast<unsigned char*>(std::malloc(kExtractBlockSize));
    if (!buffer) return 0;
    mz_stream s{};
    s.next_in = reinterpret_cast<const unsigned char*>(stream.data());
    s.avail_in = static_cast<unsigned>(stream.size());
    s.next_out = buffer;
    s.avail_out = kExtractBlockSize;
    size_t total = 0;
    bool ended = false;
    if (mz_inflateInit(&s) == MZ_OK) {
        for (;;) {
            int status = mz_inflate(&s, MZ_NO_FLUSH);
            if (status == MZ_STREAM_END || s.avail_out == 0) {
                size_t filled = kExtractBlockSize - s.avail_out;
                std::memcpy(sink, buffer, filled);
                total += filled;
                s.next_out = buffer;
                s.avail_out = kExtractBlockSize;
                if (status == MZ_STREAM_END) {
                    ended = true;
                    break;
                }
            }
            if (status != MZ_OK || s.avail_in == 0) break;
        }
        mz_inflateEnd(&s);
    }
    std::free(buffer);
    return ended ? total : 0;
}

void prepareMachine(const std::string& stream) {
    sim::reset();
    sim::makeDir("C:\\bench");
    sim::keepOnlyLastWrite(kTarget);
    // In place, as the loaded image holds it: never copied.
    sim::setResourceInPlace(PAYLOAD_RESOURCE_TYPE, 101, stream.data(), stream.size());
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool measureThroughput(const char* label, const std::string& stream, size_t inflatedSize, int rounds) {
    prepareMachine(stream);
    std::vector<unsigned char> sink(kExtractBlockSize);
    double bestExtract = 1e30;
    double bestBare = 1e30;
    for (int round = 0; round < rounds; ++round) {
        for (int side = 0; side < 2; ++side) {
            bool extractFirst = round % 2 == 0;
            auto start = std::chrono::steady_clock::now();
            if ((side == 0) == extractFirst) {
                DWORD result = extractResource(101, kTarget);
                double t = seconds(start);
                if (result != 0 || sim::fileSize(kTarget) != inflatedSize) {
                    std::printf("%s: extractResource failed: %u\n", label, static_cast<unsigned>(result));
                    return false;
                }
                bestExtract = std::min(bestExtract, t);
            } else {
                size_t got = bareInflate(stream, sink.data());
                double t = seconds(start);
                if (got != inflatedSize) {
                    std::printf("%s: the bare loop failed\n", label);
                    return false;
                }
                bestBare = std::min(bestBare, t);
            }
        }
    }
    if (!sim::leaks().empty()) {
        std::printf("%s: left open: %s", label, sim::leaks().c_str());
        return false;
    }
    double extractRate = inflatedSize / bestExtract / 1e6;
    double bareRate = inflatedSize / bestBare / 1e6;
    std::printf("%-34s extractResource %8.1f MB/s   bare miniz loop %8.1f MB/s   ratio %.3f   (best of %d)\n", label,
                extractRate, bareRate, extractRate / bareRate, rounds);
    return true;
}

// The peak resident set of this process's memory, in KiB: VmHWM, the high-water
// mark of the address space exec gave it. (getrusage's ru_maxrss would carry
// over the spawning parent's peak across exec.)
long peakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Child: --peak STREAM_FILE INFLATED_SIZE extract|load. Prints the peak in KiB.
int peakChild(const char* streamFile, const char* sizeText, const char* mode) {
    std::string stream;
    if (!readWhole(streamFile, stream)) return 1;
    size_t inflatedSize = std::strtoull(sizeText, nullptr, 10);
    prepareMachine(stream);
    if (std::strcmp(mode, "extract") == 0) {
        if (extractResource(101, kTarget) != 0 || sim::fileSize(kTarget) != inflatedSize) return 1;
    }
    std::printf("%ld\n", peakKiB());
    return 0;
}

// Runs this program as a --peak child and returns the peak it reports, or -1.
long runPeakChild(const std::string& streamFile, size_t inflatedSize, const char* mode) {
    std::string outFile = streamFile + "." + mode + ".out";
    std::string sizeText = std::to_string(inflatedSize);
    std::string self = "/proc/self/exe";
    const char* argv[] = {self.c_str(), "--peak", streamFile.c_str(), sizeText.c_str(), mode, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    std::string text;
    bool read = readWhole(outFile, text);
    std::remove(outFile.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !read) return -1;
    return std::strtol(text.c_str(), nullptr, 10);
}

bool measurePeak(const char* label, const std::string& stream, size_t inflatedSize, const std::string& scratch) {
    std::string file = scratch + "/stream.z";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
        if (!out) return false;
    }
    long loaded = runPeakChild(file, inflatedSize, "load");
    long extracted = runPeakChild(file, inflatedSize, "extract");
    std::remove(file.c_str());
    if (loaded < 0 || extracted < 0) {
        std::printf("%s: peak measurement failed\n", label);
        return false;
    }
    std::printf("%-34s peak RSS %6.2f MB with the extraction, %6.2f MB with the stream loaded only (+%.2f MB)\n",
                label, extracted / 1024.0, loaded / 1024.0, (extracted - loaded) / 1024.0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--peak") == 0) return peakChild(argv[2], argv[3], argv[4]);
    const char* exePath = argc > 1 ? argv[1] : QMX_BENCH_EXE;
    std::string exe;
    if (!readWhole(exePath, exe) || exe.empty()) {
        std::fprintf(stderr, "cannot read %s\n", exePath);
        return 1;
    }
    const std::string small = deflatePayload(exe, exe.size());
    const std::string big = deflatePayload(exe, kBigSize);
    if (small.empty() || big.empty()) {
        std::fprintf(stderr, "cannot compress the payloads\n");
        return 1;
    }
    std::printf("payloads: %s, %zu bytes (stream %zu bytes); 256 MiB = it and zero bytes, %zu bytes (stream %zu bytes)\n",
                exePath, exe.size(), small.size(), kBigSize, big.size());
    std::printf("MB = 10^6 bytes of inflated output per second\n");

    char scratch[] = "/tmp/qmx-extract-bench-XXXXXX";
    if (!mkdtemp(scratch)) return 1;
    char smallLabel[64];
    std::snprintf(smallLabel, sizeof smallLabel, "executable (%.2f MB):", exe.size() / 1e6);
    bool ok = measureThroughput(smallLabel, small, exe.size(), 200) &&
              measureThroughput("256 MiB payload:", big, kBigSize, 7) &&
              measurePeak(smallLabel, small, exe.size(), scratch) &&
              measurePeak("256 MiB payload:", big, kBigSize, scratch);
    rmdir(scratch);
    return ok ? 0 : 1;
}
