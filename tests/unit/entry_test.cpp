#include "app/entry.h"

#include <vector>

#include "app/context.h"
#include "payload_streams.h"
#include "sim_test.h"

namespace {

int runWith(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    std::string program = "qmx-installer.exe";
    argv.push_back(&program[0]);
    for (std::string& a : arguments) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return installerMain(static_cast<int>(arguments.size() + 1), argv.data());
}

const char kUsage[] =
    "qmx installer 3.11.0.0, 64-bit\n"
    "\n"
    "OPTIONS\n"
    "  /help\n"
    "      show this help\n";

class UsageTest : public SimTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(UsageTest, PrintsTheUsageBlockExitsOneAndTouchesNothing) {
    EXPECT_EQ(runWith(GetParam()), 1);
    EXPECT_EQ(sim::transcript(), kUsage);
    // Nothing but the DLL search path was asked of the machine.
    EXPECT_EQ(sim::totalCalls(), sim::callCount("SetDefaultDllDirectories"));
    EXPECT_EQ(sim::fileChanges(), 0u);
}

INSTANTIATE_TEST_SUITE_P(HelpForms, UsageTest,
                         ::testing::Values(std::vector<std::string>{"help"}, std::vector<std::string>{"-help"},
                                           std::vector<std::string>{"/help"}, std::vector<std::string>{"?"},
                                           std::vector<std::string>{"-?"}, std::vector<std::string>{"/?"}));

INSTANTIATE_TEST_SUITE_P(OtherArguments, UsageTest,
                         ::testing::Values(std::vector<std::string>{"HELP"}, std::vector<std::string>{"--help"},
                                           std::vector<std::string>{"/help:yes"}, std::vector<std::string>{"install"},
                                           std::vector<std::string>{""},
                                           std::vector<std::string>{"word", "/help"}));

class BareStartTest : public SimTest {};

TEST_F(BareStartTest, SearchPathIsRestrictedBeforeAnythingElse) {
    runWith({});
    EXPECT_EQ(sim::dllDirectoryCalls(), "0x800");
    EXPECT_EQ(sim::callsBeforeDllDirectories(), 0u);
}

TEST_F(BareStartTest, FailedRunEndsWithThePlainFailureLine) {
    sim::setConsole(0x1F, false);
    sim::unsetEnv("ProgramFiles");
    EXPECT_EQ(runWith({}), 1);
    EXPECT_EQ(sim::transcript(),
              "qmx installer 3.11.0.0, 64-bit\n"
              "os 10.0.19041.3636 => crt \"current\"\n" +
                  red("Failed to get \"Program Files\": 0x000000cb\n") + "installation FAILED.\n");
}

// The installer's own module carries both payloads.
class InstallingStartTest : public SimTest {
protected:
    const std::string ctrl = noise(700000, 1);
    const std::string server = noise(1100000, 2);
    const std::string destination = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\";
    void SetUp() override {
        SimTest::SetUp();
        setPayloadResource(101, zlibStream(ctrl));
        setPayloadResource(102, zlibStream(server));
    }
};

TEST_F(InstallingStartTest, FirstInstallationCopiesBothPayloadsInCatalogueOrder) {
    EXPECT_EQ(runWith({}), 0);
    EXPECT_EQ(sim::transcript(),
              "qmx installer 3.11.0.0, 64-bit\n"
              "os 10.0.19041.3636 => crt \"current\"\n"
              "Destination: C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\n"
              "Copying \"qmx.ua.kyt.ctrl.exe\"... ok\n"
              "Copying \"qmx.ua.kyt.exe\"... ok\n"
              "Generating default certificate... ok\n"
              "Will configure firewall...\n"
              "  exception for \"qmx.ua.kyt.exe\"... ok\n"
              "installation SUCCEEDED!\n");
    EXPECT_TRUE(sim::readFile(destination + "qmx.ua.kyt.ctrl.exe") == ctrl);
    EXPECT_TRUE(sim::readFile(destination + "qmx.ua.kyt.exe") == server);
}

TEST_F(InstallingStartTest, FailedCopyEndsTheRunBeforeTheNextPayload) {
    sim::removeResource(PAYLOAD_RESOURCE_TYPE, 101);
    EXPECT_EQ(runWith({}), 1);
    EXPECT_EQ(sim::transcript(),
              "qmx installer 3.11.0.0, 64-bit\n"
              "os 10.0.19041.3636 => crt \"current\"\n"
              "Destination: C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\n"
              "Copying \"qmx.ua.kyt.ctrl.exe\"..." +
                  red(" failed: 0x00000716\n") + "installation FAILED.\n");
    EXPECT_FALSE(sim::exists(destination + "qmx.ua.kyt.exe"));
}

TEST(ServiceListTest, AppendKeepsOrderAndOwnsCopies) {
    sim::reset();
    ServiceList list{};
    char name[] = "svcA";
    ASSERT_TRUE(appendService(list, "qmx.ua.kyt.exe", name, 4));
    name[3] = 'B';
    ASSERT_TRUE(appendService(list, "qmx.ua.kyt.ctrl.exe", name, 1));
    ASSERT_EQ(list.count, 2u);
    EXPECT_STREQ(list.entries[0].serviceName, "svcA");
    EXPECT_STREQ(list.entries[1].serviceName, "svcB");
    EXPECT_STREQ(list.entries[1].fileName, "qmx.ua.kyt.ctrl.exe");
    EXPECT_EQ(list.entries[0].state, 4u);
    EXPECT_EQ(sim::liveBlocks("malloc"), 5u);  // the array and four strings
    releaseServiceList(list);
    EXPECT_EQ(list.entries, nullptr);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(sim::leaks(), "");
}

TEST(ServiceListTest, AllocationFailureAddsNothingAndLeaksNothing) {
    for (const char* call : {"malloc", "realloc"}) {
        for (unsigned nth : {1u, 2u}) {
            sim::reset();
            ServiceList list{};
            ASSERT_TRUE(appendService(list, "a.exe", "first", 4));
            sim::failOnce(call, ERROR_NOT_ENOUGH_MEMORY, sim::callCount(call) + nth);
            bool added = appendService(list, "a.exe", "second", 4);
            if (std::string(call) == "realloc" && nth == 2) {
                EXPECT_TRUE(added);  // the fault lies beyond this append's one realloc
            } else {
                EXPECT_FALSE(added) << call << " " << nth;
            }
            EXPECT_EQ(list.count, added ? 2u : 1u);
            EXPECT_STREQ(list.entries[0].serviceName, "first");
            releaseServiceList(list);
            EXPECT_EQ(sim::leaks(), "") << call << " " << nth;
        }
    }
}

}  // namespace
