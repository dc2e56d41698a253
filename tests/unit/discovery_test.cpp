#include "services/discovery.h"

#include <vector>

#include "services/service_control.h"
#include "services/state_names.h"
#include "services_fixture.h"

namespace {

std::string heading(const std::string& fileName) { return "Discovering services for \"" + fileName + "\"...\n"; }

const std::string kQuotedServer = "\"" + kServerFile + "\" --instance default";

class DiscoveryTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        install();
        sim::addService("Spooler", "Print Spooler", "C:\\Windows\\System32\\spoolsv.exe", SERVICE_RUNNING,
                        SERVICE_WIN32_OWN_PROCESS);
    }
    bool discoverBoth() { return discoverServices(context, kCtrlEntry) && discoverServices(context, kServerEntry); }
    std::vector<std::string> recorded() const {
        std::vector<std::string> out;
        for (uint64_t i = 0; i < context.services.count; ++i) {
            const ServiceEntry& e = context.services.entries[i];
            out.push_back(std::string(e.fileName) + " " + e.serviceName + " " + std::to_string(e.state));
        }
        return out;
    }
};

TEST_F(ServicesTest, FirstInstallationIsSilent) {
    sim::addService("qmx", "QMX", "\"" + kServerFile + "\"", SERVICE_RUNNING);
    EXPECT_TRUE(discoverServices(context, kCtrlEntry));
    EXPECT_TRUE(discoverServices(context, kServerEntry));
    EXPECT_EQ(sim::transcript(), "");
    EXPECT_EQ(context.services.count, 0u);
    EXPECT_EQ(sim::callCount("OpenSCManagerW"), 0u);
}

TEST_F(DiscoveryTest, OnlyExecutablesForThisPlatformAreExamined) {
    const struct {
        PayloadEntry entry;
        bool examined;
    } cases[] = {
        {{101, "tool.EXE", 0}, true},  {{101, "tool.ExE", 0}, true},    {{101, "tool.exe", 5}, false},
        {{101, "exe", 0}, false},      {{101, ".ex", 0}, false},        {{101, "tool.exe.txt", 0}, false},
        {{101, "tool.exe", 8}, false},  // applies nowhere
    };
    for (const auto& c : cases) {
        sim::writeFile(std::string(kDestination) + c.entry.fileName, "file");
        unsigned before = sim::callCount("OpenSCManagerW");
        EXPECT_TRUE(discoverServices(context, c.entry)) << c.entry.fileName;
        EXPECT_EQ(sim::callCount("OpenSCManagerW") - before, c.examined ? 1u : 0u) << c.entry.fileName;
    }
    EXPECT_EQ(sim::transcript(), heading("tool.EXE") + heading("tool.ExE"));
}

TEST_F(DiscoveryTest, PathOfTwoHundredSixtyCharactersFailsTheStep) {
    std::string destination = "C:\\" + std::string(241, 'd') + "\\";  // 245 characters
    std::strcpy(context.destinationPath, destination.c_str());
    sim::writeFile(destination + "qmx.ua.kyt.exe", "server");
    EXPECT_TRUE(discoverServices(context, kServerEntry));  // 259 characters: fits
    EXPECT_FALSE(discoverServices(context, kCtrlEntry));   // 264
    EXPECT_EQ(sim::transcript(), heading("qmx.ua.kyt.exe") + red("internal error\n"));
    EXPECT_EQ(sim::callCount("OpenSCManagerW"), 1u);
}

struct MatchCase {
    const char* what;
    std::string commandLine;
    bool recorded;
    DWORD type;
};

class DiscoveryMatchTest : public DiscoveryTest, public ::testing::WithParamInterface<MatchCase> {
protected:
    void SetUp() override {
        DiscoveryTest::SetUp();
        sim::addLink(std::string(kDestination) + "QMXUAK~1.EXE", kServerFile);
        sim::makeDir("C:\\Links");
        sim::addLink("C:\\Links\\server.exe", kServerFile);
        sim::writeFile("C:\\Backup\\qmx.ua.kyt.exe", "old server");
    }
};

TEST_P(DiscoveryMatchTest, FirstArgumentNamesTheInstalledFileByIdentity) {
    const MatchCase& c = GetParam();
    sim::addService("QmxServer", "QMX UA Server", c.commandLine, SERVICE_RUNNING, c.type);
    EXPECT_TRUE(discoverServices(context, kServerEntry));
    EXPECT_EQ(sim::transcript(), heading("qmx.ua.kyt.exe") + (c.recorded ? "  QmxServer -> running\n" : ""));
    EXPECT_EQ(recorded(), c.recorded ? std::vector<std::string>{"qmx.ua.kyt.exe QmxServer 4"}
                                     : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DiscoveryMatchTest,
    ::testing::Values(
        MatchCase{"quoted with arguments", kQuotedServer, true, SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"shared process", "\"" + kServerFile + "\"", true, SERVICE_WIN32_SHARE_PROCESS},
        MatchCase{"other case", "\"c:\\PROGRAM FILES\\morvane\\qmx.ua\\KYT\\QMX.UA.KYT.EXE\"", true,
                  SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"short name", "\"" + std::string(kDestination) + "QMXUAK~1.EXE\" -s", true,
                  SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"hard link", "C:\\Links\\server.exe -s", true, SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"unquoted with a blank", kServerFile + " --instance default", false, SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"environment variable", "\"%ProgramFiles%\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe\"", false,
                  SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"a copy elsewhere", "C:\\Backup\\qmx.ua.kyt.exe", false, SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"the other executable", "\"" + kCtrlFile + "\"", false, SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"empty command line", "", false, SERVICE_WIN32_OWN_PROCESS},
        MatchCase{"a driver is not examined", "\"" + kServerFile + "\"", false, SERVICE_KERNEL_DRIVER}),
    [](const ::testing::TestParamInfo<MatchCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST_F(DiscoveryTest, EveryStateIsRecordedAndListedByKeyNameInEnumerationOrder) {
    const DWORD states[] = {SERVICE_STOPPED,          SERVICE_RUNNING,       SERVICE_PAUSED,
                            SERVICE_START_PENDING,    SERVICE_STOP_PENDING,  SERVICE_CONTINUE_PENDING,
                            SERVICE_PAUSE_PENDING,    0,                     9};
    std::vector<std::string> expected;
    for (DWORD state : states) {
        std::string name = "qmx" + std::to_string(state);
        sim::addService(name, "QMX display " + name, kQuotedServer, state);
        expected.push_back("qmx.ua.kyt.exe " + name + " " + std::to_string(state));
    }
    EXPECT_TRUE(discoverServices(context, kServerEntry));
    EXPECT_EQ(sim::transcript(), heading("qmx.ua.kyt.exe") +
                                     "  qmx1 -> stopped\n  qmx4 -> running\n  qmx7 -> paused\n"
                                     "  qmx2 -> start pending\n  qmx3 -> stop pending\n  qmx5 -> continue pending\n"
                                     "  qmx6 -> pause pending\n  qmx0 -> unknown\n  qmx9 -> unknown\n");
    EXPECT_EQ(recorded(), expected);
}

TEST_F(DiscoveryTest, SecondPassListsOnlyItsOwnServices) {
    sim::addService("QmxServer", "QMX UA Server", kQuotedServer, SERVICE_RUNNING);
    sim::addService("QmxCtrl", "QMX UA Control", "\"" + kCtrlFile + "\" -service", SERVICE_STOPPED);
    sim::addService("QmxServer2", "QMX UA Server 2", kQuotedServer + " --instance second", SERVICE_PAUSED);
    EXPECT_TRUE(discoverBoth());
    EXPECT_EQ(sim::transcript(), heading("qmx.ua.kyt.ctrl.exe") + "  QmxCtrl -> stopped\n" +
                                     heading("qmx.ua.kyt.exe") + "  QmxServer -> running\n  QmxServer2 -> paused\n");
    EXPECT_EQ(recorded(), (std::vector<std::string>{"qmx.ua.kyt.ctrl.exe QmxCtrl 1", "qmx.ua.kyt.exe QmxServer 4",
                                                    "qmx.ua.kyt.exe QmxServer2 7"}));
}

// A machine with a few hundred services, every third one running the server.
class ManyServicesTest : public DiscoveryTest {
protected:
    void SetUp() override {
        DiscoveryTest::SetUp();
        for (int i = 0; i < 600; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Service%03d", i);
            bool ours = i % 3 == 0;
            sim::addService(name, std::string("A service with a display name ") + name,
                            ours ? kQuotedServer : "C:\\Windows\\System32\\svchost.exe -k netsvcs", SERVICE_RUNNING);
            if (ours) ourNames.push_back(name);
        }
    }
    std::vector<std::string> ourNames;
};

TEST_F(ManyServicesTest, EnumeratesInBatchesWithoutLosingOrRepeatingAService) {
    EXPECT_TRUE(discoverServices(context, kServerEntry));
    EXPECT_GE(sim::callCount("EnumServicesStatusA"), 4u);  // 16384 bytes hold fewer than 200 of these
    std::string listing = heading("qmx.ua.kyt.exe");
    std::vector<std::string> expected;
    for (const std::string& name : ourNames) {
        listing += "  " + name + " -> running\n";
        expected.push_back("qmx.ua.kyt.exe " + name + " 4");
    }
    EXPECT_EQ(sim::transcript(), listing);
    EXPECT_EQ(recorded(), expected);
}

TEST_F(ManyServicesTest, FailureAfterTheFirstBatchWarnsAndKeepsWhatWasRecorded) {
    sim::failOnce("EnumServicesStatusA", ERROR_ACCESS_DENIED, 2);
    EXPECT_TRUE(discoverServices(context, kServerEntry));
    EXPECT_EQ(sim::transcript(),
              heading("qmx.ua.kyt.exe") + yellow("  failed to enum services: 0x00000005. Will attempt to continue...\n"));
    // The first batch's services, each once, and nothing after it.
    ASSERT_GT(context.services.count, 10u);
    ASSERT_LT(context.services.count, ourNames.size());
    for (uint64_t i = 0; i < context.services.count; ++i) {
        EXPECT_EQ(context.services.entries[i].serviceName, ourNames[i]);
    }
    // They are stopped like any other recorded service.
    uint64_t kept = context.services.count;
    stopServices(context);
    EXPECT_EQ(sim::callCount("ControlService"), kept);
}

TEST_F(DiscoveryTest, ManagerThatCannotBeOpenedCostsAWarning) {
    sim::addService("QmxServer", "QMX UA Server", kQuotedServer, SERVICE_RUNNING);
    sim::failOnce("OpenSCManagerW", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(discoverBoth());
    EXPECT_EQ(sim::transcript(),
              heading("qmx.ua.kyt.ctrl.exe") +
                  yellow("  failed to enum services: 0x00000005. Will attempt to continue...\n") +
                  heading("qmx.ua.kyt.exe") + "  QmxServer -> running\n");
}

// Allocation failures end the enumeration as a failure with
// ERROR_NOT_ENOUGH_MEMORY: the enumeration buffer, or the copy of a matching
// service into the list.
TEST_F(DiscoveryTest, AllocationFailureEndsTheEnumerationWithAWarning) {
    const std::string warning = yellow("  failed to enum services: 0x00000008. Will attempt to continue...\n");
    const struct {
        const char* call;
        unsigned nth;
        uint64_t kept;
    } cases[] = {{"malloc", 1, 0}, {"realloc", 1, 0}, {"realloc", 2, 1}};
    for (const auto& c : cases) {
        sim::reset();
        SetUp();
        sim::addService("QmxServer", "QMX UA Server", kQuotedServer, SERVICE_RUNNING);
        sim::addService("QmxServer2", "QMX UA Server 2", kQuotedServer, SERVICE_RUNNING);
        sim::failOnce(c.call, ERROR_NOT_ENOUGH_MEMORY, c.nth);
        EXPECT_TRUE(discoverServices(context, kServerEntry));
        EXPECT_EQ(sim::transcript(), heading("qmx.ua.kyt.exe") + warning) << c.call << " " << c.nth;
        EXPECT_EQ(context.services.count, c.kept) << c.call << " " << c.nth;
        releaseServiceList(context.services);
        EXPECT_EQ(sim::leaks(), "") << c.call << " " << c.nth;
    }
}

struct ServiceFault {
    const char* what;
    void (*inject)();
};

class UnexaminableServiceTest : public DiscoveryTest, public ::testing::WithParamInterface<ServiceFault> {};

// The first service fails to be examined and is passed over in silence; the
// second one is still examined and recorded.
TEST_P(UnexaminableServiceTest, IsPassedOverSilently) {
    sim::addService("QmxBroken", "QMX broken", kQuotedServer, SERVICE_RUNNING);
    sim::addService("QmxServer", "QMX UA Server", kQuotedServer, SERVICE_RUNNING);
    GetParam().inject();
    EXPECT_TRUE(discoverServices(context, kServerEntry));
    EXPECT_EQ(sim::transcript(), heading("qmx.ua.kyt.exe") + "  QmxServer -> running\n");
    EXPECT_EQ(recorded(), std::vector<std::string>{"qmx.ua.kyt.exe QmxServer 4"});
}

// Per service: Spooler (not ours), then QmxBroken, then QmxServer. Calls are
// counted from the start, so the second of each is QmxBroken's.
INSTANTIATE_TEST_SUITE_P(
    Faults, UnexaminableServiceTest,
    ::testing::Values(
        ServiceFault{"open", [] { sim::failOnce("OpenServiceA", ERROR_ACCESS_DENIED, 2); }},
        ServiceFault{"access", [] { sim::denyServiceAccess("QmxBroken", SERVICE_QUERY_CONFIG); }},
        ServiceFault{"sizeQuery", [] { sim::failOnce("QueryServiceConfigA", ERROR_INVALID_HANDLE, 3); }},
        ServiceFault{"sizeQueryWithoutInsufficientBuffer",
                     [] { sim::failOnce("QueryServiceConfigA", ERROR_SUCCESS, 3); }},
        ServiceFault{"query", [] { sim::failOnce("QueryServiceConfigA", ERROR_ACCESS_DENIED, 4); }},
        ServiceFault{"configBuffer", [] { sim::failOnce("malloc", ERROR_NOT_ENOUGH_MEMORY, 4); }},
        ServiceFault{"split", [] { sim::failOnce("CommandLineToArgvW", ERROR_NOT_ENOUGH_MEMORY, 2); }},
        ServiceFault{"openFile", [] { sim::failOnce("CreateFileA", ERROR_ACCESS_DENIED, 3); }},
        ServiceFault{"fileIdentity", [] { sim::failOnce("GetFileInformationByHandle", ERROR_ACCESS_DENIED, 1); }}),
    [](const ::testing::TestParamInfo<ServiceFault>& info) { return std::string(info.param.what); });

TEST(ServiceStateNameTest, NamesEveryStateAndUnknownOutside) {
    const char* const expected[] = {"unknown",          "stopped",       "start pending", "stop pending", "running",
                                    "continue pending", "pause pending", "paused",        "unknown"};
    for (uint32_t state = 0; state <= 8; ++state) EXPECT_STREQ(serviceStateName(state), expected[state]) << state;
    EXPECT_STREQ(serviceStateName(0xFFFFFFFFu), "unknown");
}

}  // namespace
