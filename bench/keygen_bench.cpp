// How long the installer's key generation takes next to OpenSSL's on the
// same machine: the installer's own generateDefaultKey (its random generator
// seeded from the default entropy sources, then a 2048-bit key with exponent
// 65537) against `openssl genrsa 2048` as a separate process, alternating so
// both see the same load. Prints median and p90 of each and the ratio of the
// medians; the start-up of the openssl program alone is measured too, so its
// share in the comparison is visible. The time of one generation varies
// several-fold with the prime search, so the median needs about a hundred
// runs to settle within a few hundredths of its ratio.
//
//   keygen_bench [runs (default 101)] [openssl program (default "openssl")]

#include <mbedtls/pk.h>
#include <mbedtls/version.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cert/default_key.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double installerKey() {
    Clock::time_point start = Clock::now();
    mbedtls_pk_context key;
    mbedtls_pk_init(&key);
    int status = generateDefaultKey(&key);
    mbedtls_pk_free(&key);
    double ms = millisecondsSince(start);
    if (status != 0) {
        std::fprintf(stderr, "generateDefaultKey failed: %d\n", status);
        std::exit(1);
    }
    return ms;
}

// Runs the program with its output thrown away; the time until it has exited.
double runProgram(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    int status = 0;
    if (spawned == 0) waitpid(pid, &status, 0);
    double ms = millisecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", arguments[0].c_str());
        std::exit(1);
    }
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Nearest rank: the smallest value with at least 90 % of the runs at or below it.
double p90(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t rank = static_cast<size_t>(std::ceil(0.9 * static_cast<double>(v.size())));
    return v[rank - 1];
}

std::string firstLineOf(const std::string& command) {
    std::string line;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, p)) line = buffer;
        pclose(p);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 101;
    std::string openssl = argc > 2 ? argv[2] : "openssl";
    if (runs < 1) {
        std::fprintf(stderr, "usage: keygen_bench [runs] [openssl program]\n");
        return 2;
    }
    const std::vector<std::string> genrsa = {openssl, "genrsa", "-out", "/dev/null", "2048"};
    const std::vector<std::string> startUp = {openssl, "version"};

    // One unmeasured round brings code and libraries into memory.
    installerKey();
    runProgram(genrsa);
    runProgram(startUp);

    std::vector<double> installer, genrsaTimes, startUpTimes;
    for (int i = 0; i < runs; ++i) {
        installer.push_back(installerKey());
        genrsaTimes.push_back(runProgram(genrsa));
        startUpTimes.push_back(runProgram(startUp));
    }

    std::printf("RSA-2048 key generation, %d runs each, alternating\n", runs);
    std::printf("  installer (mbedTLS %s, generateDefaultKey): median %8.1f ms, p90 %8.1f ms\n",
                MBEDTLS_VERSION_STRING, median(installer), p90(installer));
    std::printf("  openssl genrsa 2048 (%s): median %8.1f ms, p90 %8.1f ms\n",
                firstLineOf(openssl + " version").c_str(), median(genrsaTimes), p90(genrsaTimes));
    std::printf("  openssl start-up alone (openssl version): median %8.1f ms, p90 %8.1f ms\n", median(startUpTimes),
                p90(startUpTimes));
    double ratio = median(installer) / median(genrsaTimes);
    double net = median(genrsaTimes) - median(startUpTimes);
    std::printf("ratio of medians, installer / openssl genrsa: %.2f\n", ratio);
    if (net > 0) {
        std::printf("ratio against openssl genrsa less its start-up median: %.2f\n", median(installer) / net);
    }
    return 0;
}
