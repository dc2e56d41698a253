#include "services/termination.h"

#include "services_fixture.h"

namespace {

const std::string kCtrlHeading = "Checking processes for \"qmx.ua.kyt.ctrl.exe\"...\n";
std::string killLine(unsigned id) { return "  will kill process " + std::to_string(id) + "... "; }

class TerminationTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        install();
        sim::addProcess(300, "C:\\Windows\\explorer.exe");
    }
};

TEST_F(ServicesTest, FirstInstallationIsSilentAndEnumeratesNothing) {
    sim::addProcess(100, kCtrlFile);  // a process may claim a path that holds no file
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_TRUE(killProcesses(context, kServerEntry));
    EXPECT_EQ(sim::transcript(), "");
    EXPECT_EQ(sim::processEnumSizes(), "");
}

TEST_F(TerminationTest, OnlyExecutablesForThisPlatformAreChecked) {
    sim::writeFile(std::string(kDestination) + "readme.txt", "text");
    sim::writeFile(std::string(kDestination) + "TOOL.EXE", "tool");
    EXPECT_TRUE(killProcesses(context, PayloadEntry{101, "readme.txt", 0}));
    EXPECT_TRUE(killProcesses(context, PayloadEntry{101, "TOOL.EXE", 8}));
    EXPECT_TRUE(killProcesses(context, PayloadEntry{101, "TOOL.EXE", 0}));
    EXPECT_EQ(sim::transcript(), "Checking processes for \"TOOL.EXE\"...\n");
}

TEST_F(TerminationTest, PathThatDoesNotFitFailsTheStep) {
    std::strcpy(context.destinationPath, ("C:\\" + std::string(241, 'd') + "\\").c_str());
    EXPECT_FALSE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(), red("internal error\n"));
    EXPECT_EQ(sim::processEnumSizes(), "");
}

TEST_F(TerminationTest, EveryProcessOfTheFileIsKilledInEnumerationOrder) {
    sim::addLink(std::string(kDestination) + "QMXUAK~1.EXE", kCtrlFile);
    sim::makeDir("C:\\Links");
    sim::addLink("C:\\Links\\ctrl.exe", kCtrlFile);
    sim::writeFile("C:\\Backup\\qmx.ua.kyt.ctrl.exe", "old control program");
    sim::addProcess(1208, "c:\\program files\\MORVANE\\qmx.ua\\kyt\\QMX.UA.KYT.CTRL.EXE");
    sim::addProcess(1100, kServerFile);
    sim::addProcess(1300, "C:\\Backup\\qmx.ua.kyt.ctrl.exe");
    sim::addProcess(1044, std::string(kDestination) + "QMXUAK~1.EXE");
    sim::addProcess(1400, "C:\\Links\\ctrl.exe");
    // Closed to inspection, though they run the file: passed over in silence.
    sim::addProcess(1500, kCtrlFile, sim::ProcessKind::Protected);
    sim::addProcess(1600, kCtrlFile, sim::ProcessKind::NoImage);
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(),
              kCtrlHeading + killLine(1208) + "ok\n" + killLine(1044) + "ok\n" + killLine(1400) + "ok\n");
    EXPECT_EQ(sim::terminatedProcesses(), "1208,1044,1400");
    EXPECT_TRUE(sim::processRunning(1100));
    EXPECT_TRUE(sim::processRunning(sim::kInstallerId));
    EXPECT_EQ(sim::processEnumSizes(), "1024");
}

TEST_F(TerminationTest, ImagePathOfTheFullBufferMatchesOneLongerDoesNot) {
    // Both name the installed file through a hard link: 259 characters fit
    // the 260-byte buffer, 260 are cut and name nothing.
    for (size_t length : {259u, 260u}) {
        std::string folder = "C:\\" + std::string(length - 3 - 9, 'l');
        sim::makeDir(folder);
        sim::addLink(folder + "\\ctrl.exe", kCtrlFile);
        sim::addProcess(static_cast<DWORD>(length), folder + "\\ctrl.exe");
    }
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(), kCtrlHeading + killLine(259) + "ok\n");
}

TEST_F(TerminationTest, ProcessThatExitedBeforeTheKillIsReportedWithTheOpenCode) {
    sim::addProcess(700, kCtrlFile, sim::ProcessKind::ExitsAfterScan);
    sim::addProcess(800, kCtrlFile);
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(),
              kCtrlHeading + killLine(700) + failedWith(ERROR_INVALID_PARAMETER) + killLine(800) + "ok\n");
}

TEST_F(TerminationTest, RefusedTerminationIsReportedWithItsCode) {
    sim::addProcess(700, kCtrlFile);
    sim::addProcess(800, kCtrlFile);
    sim::failOnce("TerminateProcess", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(), kCtrlHeading + killLine(700) + failedWith(ERROR_ACCESS_DENIED) + killLine(800) + "ok\n");
    EXPECT_EQ(sim::terminatedProcesses(), "800");
}

// The id buffer starts at 256 ids and doubles while the platform fills it.
TEST_F(TerminationTest, IdBufferDoublesWhileItIsFull) {
    const struct {
        unsigned processes;  // in all, with the four the machine already has
        const char* sizes;
    } cases[] = {{255, "1024"}, {256, "1024,2048"}, {600, "1024,2048,4096"}, {1024, "1024,2048,4096,8192"}};
    for (const auto& c : cases) {
        sim::reset();
        SetUp();
        for (unsigned i = 4; i + 1 < c.processes; ++i) sim::addProcess(10000 + i, "C:\\Windows\\svchost.exe");
        sim::addProcess(99999, kCtrlFile);  // last in the enumeration
        EXPECT_TRUE(killProcesses(context, kCtrlEntry));
        EXPECT_EQ(sim::processEnumSizes(), c.sizes) << c.processes;
        EXPECT_EQ(sim::transcript(), kCtrlHeading + killLine(99999) + "ok\n") << c.processes;
        EXPECT_EQ(sim::leaks(), "") << c.processes;
    }
}

TEST_F(TerminationTest, EnumerationFailure) {
    sim::addProcess(700, kCtrlFile);
    sim::failOnce("K32EnumProcesses", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(),
              kCtrlHeading + yellow("  failed to enum processes: 0x00000005. Will attempt to continue...\n"));
    EXPECT_TRUE(sim::processRunning(700));
}

TEST_F(TerminationTest, EnumerationFailureWithoutACodeCountsAsNoProcess) {
    for (int i = 0; i < 300; ++i) sim::addProcess(2000 + i, "C:\\Windows\\svchost.exe");
    sim::addProcess(700, kCtrlFile);
    sim::failOnce("K32EnumProcesses", ERROR_SUCCESS, 2);  // while growing the buffer
    EXPECT_TRUE(killProcesses(context, kCtrlEntry));
    EXPECT_EQ(sim::transcript(), kCtrlHeading);
    EXPECT_TRUE(sim::processRunning(700));
}

// Out of memory for the id buffer is an enumeration failure; out of memory
// for the match list ends the scan, and what was matched is still killed.
TEST_F(TerminationTest, AllocationFailures) {
    const std::string warning = yellow("  failed to enum processes: 0x00000008. Will attempt to continue...\n");
    const struct {
        unsigned nth;  // of the realloc calls: 1 the id buffer, 2 and 3 the match list
        std::string transcript;
    } cases[] = {{1, kCtrlHeading + warning},
                 {2, kCtrlHeading + warning},
                 {3, kCtrlHeading + warning + killLine(700) + "ok\n"}};
    for (const auto& c : cases) {
        sim::reset();
        SetUp();
        sim::addProcess(700, kCtrlFile);
        sim::addProcess(800, kCtrlFile);
        sim::failOnce("realloc", ERROR_NOT_ENOUGH_MEMORY, c.nth);
        EXPECT_TRUE(killProcesses(context, kCtrlEntry));
        EXPECT_EQ(sim::transcript(), c.transcript) << c.nth;
        EXPECT_EQ(sim::leaks(), "") << c.nth;
    }
}

}  // namespace
