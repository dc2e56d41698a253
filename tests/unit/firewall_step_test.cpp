#include "app/firewall_step.h"

#include <cstring>

#include "platform/sim/com.h"
#include "platform/sim/firewall.h"
#include "platform/sim/sim_os.h"
#include "sim_test.h"

namespace {

const std::string kHeading = "Will configure firewall...\n";
const std::string kRegistered = "  exception for \"qmx.ua.kyt.exe\"... ok\n";
const std::wstring kEntry = L"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe|qmx OPCUA|-1\n";

class FirewallStepTest : public SimTest {
protected:
    InstallContext context{};
    void SetUp() override {
        SimTest::SetUp();
        std::strcpy(context.destinationPath, "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\");
    }
};

// How the thread stands before the step, what CoInitializeEx then gives, and
// whether the step must leave COM again.
struct InitCase {
    const char* what;
    int hostApartment;  // -1: none, else the flags the host initialised with
    uint32_t fault;     // a scripted CoInitializeEx failure, or 0
    std::string transcript;
    unsigned uninitialisations;
    bool registered;
};

class ComInitTest : public FirewallStepTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(ComInitTest, RegistersInsideItsOwnInitialisationOnly) {
    const InitCase& c = GetParam();
    if (c.hostApartment >= 0) sim::setThreadApartment(static_cast<DWORD>(c.hostApartment));
    if (c.fault) sim::failOnce("CoInitializeEx", c.fault);
    EXPECT_TRUE(configureFirewall(context));
    EXPECT_EQ(sim::transcript(), c.transcript);
    EXPECT_EQ(sim::comInitCalls(), "0x6");
    EXPECT_EQ(sim::callCount("CoUninitialize"), c.uninitialisations);
    EXPECT_EQ(sim::authorizedApplications(sim::kStandardProfile), c.registered ? kEntry : L"");
    if (!c.registered) {
        EXPECT_EQ(sim::callCount("CoCreateInstance"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, ComInitTest,
    ::testing::Values(InitCase{"S_OK", -1, 0, kHeading + kRegistered, 1, true},
                      InitCase{"S_FALSE", COINIT_APARTMENTTHREADED, 0, kHeading + kRegistered, 1, true},
                      // The host's multithreaded apartment serves the firewall
                      // objects too, and is not ours to leave.
                      InitCase{"RPC_E_CHANGED_MODE", COINIT_MULTITHREADED, 0, kHeading + kRegistered, 0, true},
                      InitCase{"failure", -1, 0x8000FFFFu,
                               kHeading + yellow("  CoInitializeEx failed: 0x8000ffff. Will attempt to continue...\n"),
                               0, false},
                      InitCase{"out_of_memory", -1, 0x8007000Eu,
                               kHeading + yellow("  CoInitializeEx failed: 0x8007000e. Will attempt to continue...\n"),
                               0, false}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.what); });

TEST_F(FirewallStepTest, PathThatDoesNotFitFailsTheStepAndStillLeavesCom) {
    std::string destination = "C:\\" + std::string(242, 'd') + "\\";
    std::strcpy(context.destinationPath, destination.c_str());
    EXPECT_FALSE(configureFirewall(context));
    EXPECT_EQ(sim::transcript(), kHeading + "  exception for \"qmx.ua.kyt.exe\"..." + red("internal error\n"));
    EXPECT_EQ(sim::callCount("CoUninitialize"), 1u);
    EXPECT_EQ(sim::comInitDepth(), 0);
}

TEST_F(FirewallStepTest, MissingManagerIsAWarningAndTheStepSucceeds) {
    sim::failOnce("CoCreateInstance", 0x80040154u);
    EXPECT_TRUE(configureFirewall(context));
    EXPECT_EQ(sim::transcript(), kHeading + "  exception for \"qmx.ua.kyt.exe\"..." +
                                     yellow(" failed: 0x80040154. Will attempt to continue...\n"));
    EXPECT_EQ(sim::callCount("CoUninitialize"), 1u);
}

}  // namespace
