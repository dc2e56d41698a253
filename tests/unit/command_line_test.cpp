#include "services/command_line.h"

#include <cstring>
#include <vector>

#include "platform/os.h"
#include "platform/sim/processes.h"
#include "sim_test.h"

namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> arguments;
};

class SplitCommandLineTest : public SimTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsByThePlatformRulesIntoOneBlock) {
    const SplitCase& c = GetParam();
    int count = -1;
    char** argv = splitCommandLine(c.line, count);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(count, static_cast<int>(c.arguments.size()));
    // One block: the pointers, then the strings back to back.
    EXPECT_EQ(sim::liveBlocks("LocalAlloc"), 1u);
    char* expectedAt = reinterpret_cast<char*>(argv + count);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(argv[i], expectedAt) << "argument " << i;
        EXPECT_EQ(std::string(argv[i]), c.arguments[static_cast<size_t>(i)]) << "argument " << i;
        expectedAt = argv[i] + std::strlen(argv[i]) + 1;
    }
    os::LocalFree(argv);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"\"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe\" --instance \"default one\"",
                  {"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe", "--instance", "default one"}},
        // Unquoted, the program ends at the first blank.
        SplitCase{"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe",
                  {"C:\\Program", "Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe"}},
        SplitCase{"C:\\svc\\run.exe", {"C:\\svc\\run.exe"}},
        SplitCase{"C:\\svc\\run.exe\t-a  \t-b", {"C:\\svc\\run.exe", "-a", "-b"}},
        // In the program name a backslash before the closing quote is plain.
        SplitCase{"\"C:\\svc\\\" -x", {"C:\\svc\\", "-x"}},
        SplitCase{"\"C:\\svc\\run.exe\"-x", {"C:\\svc\\run.exe", "-x"}},
        SplitCase{"p a\\\\\"b c\" d", {"p", "a\\b c", "d"}},
        SplitCase{"p a\\\"b a\\b \"a\"\"b\"", {"p", "a\"b", "a\\b", "a\"b"}},
        SplitCase{"p \"\"", {"p", ""}},
        SplitCase{"%ProgramFiles%\\x.exe", {"%ProgramFiles%\\x.exe"}},
        SplitCase{"\"C:\\caf\xe9\\x.exe\" \x80", {"C:\\caf\xe9\\x.exe", "\x80"}},  // through code page 1252
        SplitCase{"  p", {"", "p"}},
        // An empty line names the running program.
        SplitCase{"", {sim::kInstallerImage}}));

TEST_F(SimTest, ByteUndefinedInTheCodePageIsRefused) {
    int count = -1;
    EXPECT_EQ(splitCommandLine("\"C:\\x\x81.exe\"", count), nullptr);
    EXPECT_EQ(count, -1);
}

struct FaultCase {
    const char* call;
    unsigned nth;
};

class SplitFaultTest : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SplitFaultTest, AnyFailureGivesNullReleasesEverythingAndLeavesTheCount) {
    sim::failOnce(GetParam().call, ERROR_NOT_ENOUGH_MEMORY, GetParam().nth);
    int count = -1;
    EXPECT_EQ(splitCommandLine("\"C:\\a b\\run.exe\" -x", count), nullptr);
    EXPECT_EQ(count, -1);
    EXPECT_GE(sim::callCount(GetParam().call), GetParam().nth) << "the fault was not reached";
}

// Conversions of a two-argument line: two size queries, then two conversions.
INSTANTIATE_TEST_SUITE_P(EachCall, SplitFaultTest,
                         ::testing::Values(FaultCase{"MultiByteToWideChar", 1}, FaultCase{"MultiByteToWideChar", 2},
                                           FaultCase{"malloc", 1}, FaultCase{"CommandLineToArgvW", 1},
                                           FaultCase{"WideCharToMultiByte", 1}, FaultCase{"WideCharToMultiByte", 2},
                                           FaultCase{"LocalAlloc", 1}, FaultCase{"WideCharToMultiByte", 3},
                                           FaultCase{"WideCharToMultiByte", 4}));

}  // namespace
