#include "firewall/firewall.h"

#include <cctype>
#include <cstring>

#include "app/destination.h"
#include "platform/sim/codepage.h"
#include "platform/sim/com.h"
#include "platform/sim/firewall.h"
#include "sim_test.h"

namespace {

const char kDestination[] = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\";
const std::wstring kServer = L"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe";
const std::string kLine = "  exception for \"qmx.ua.kyt.exe\"...";
const char kAdd[] = "INetFwAuthorizedApplications::Add";

std::string warning(const char* code) { return yellow(std::string(" failed: ") + code + ". Will attempt to continue...\n"); }

// The installed server's entry as the simulated firewall lists it.
std::wstring entryLine(const std::wstring& image, const std::wstring& name, short enabled) {
    return image + L"|" + name + L"|" + std::to_wstring(enabled) + L"\n";
}

// COM is the caller's business; here the thread is an apartment from the start.
class FirewallTest : public SimTest {
protected:
    InstallContext context{};
    void SetUp() override {
        SimTest::SetUp();
        sim::setThreadApartment(COINIT_APARTMENTTHREADED);
        std::strcpy(context.destinationPath, kDestination);
    }
    bool run() { return addFirewallException(context, "qmx.ua.kyt.exe"); }
    std::wstring current() { return sim::authorizedApplications(sim::kStandardProfile); }
};

// ---- the look-up's decision table -------------------------------------------

struct LookUpCase {
    const char* what;
    bool registered;     // an entry for the path exists before the run
    short enabled;       // its flag
    const char* fault;   // a call made to fail once, or null
    uint32_t code;
    std::string outcome;  // printed behind the step's line
    bool added;          // a new "qmx OPCUA" entry replaced whatever was there
};

class LookUpTest : public FirewallTest, public ::testing::WithParamInterface<LookUpCase> {};

TEST_P(LookUpTest, DecidesWhetherToAdd) {
    const LookUpCase& c = GetParam();
    const std::wstring before = entryLine(kServer, L"Old name", c.enabled);
    if (c.registered) sim::addAuthorizedApplication(sim::kStandardProfile, kServer, L"Old name", c.enabled);
    if (c.fault) sim::failOnce(c.fault, c.code);

    EXPECT_TRUE(run());
    EXPECT_EQ(sim::transcript(), kLine + c.outcome);
    EXPECT_EQ(sim::callCount(kAdd), c.added ? 1u : 0u);
    if (c.added) {
        EXPECT_EQ(current(), entryLine(kServer, L"qmx OPCUA", VARIANT_TRUE));
    } else {
        EXPECT_EQ(current(), c.registered ? before : L"");
    }
    // The manager and the entry object are the only classes ever created.
    EXPECT_EQ(sim::callCount("CoCreateInstance"), c.added ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LookUpTest,
    ::testing::Values(
        LookUpCase{"not registered", false, 0, nullptr, 0, " ok\n", true},
        LookUpCase{"Item fails for another cause", true, VARIANT_TRUE, "INetFwAuthorizedApplications::Item",
                   0x80004005u, " ok\n", true},
        LookUpCase{"get_Enabled fails", true, VARIANT_TRUE, "INetFwAuthorizedApplication::get_Enabled",
                   0x80070005u, warning("0x80070005"), false},
        LookUpCase{"enabled", true, VARIANT_TRUE, nullptr, 0, " ok\n", false},
        LookUpCase{"enabled with another non-zero value", true, 1, nullptr, 0, " ok\n", false},
        LookUpCase{"disabled", true, VARIANT_FALSE, nullptr, 0, " ok\n", true}),
    [](const ::testing::TestParamInfo<LookUpCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

// ---- every firewall call that can fail ----------------------------------------

struct FailureCase {
    const char* call;
    unsigned nth;
    uint32_t code;
    const char* printed;
};

class FirewallFailureTest : public FirewallTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FirewallFailureTest, WarnsWithTheFirstFailingCodeAndGoesOn) {
    const FailureCase& c = GetParam();
    sim::failOnce(c.call, c.code, c.nth);
    EXPECT_TRUE(run());
    EXPECT_EQ(sim::transcript(), kLine + warning(c.printed));
    EXPECT_EQ(current(), L"");
    // Nothing after the failing call: Add only when it is the one that fails.
    EXPECT_EQ(sim::callCount(kAdd), std::strcmp(c.call, kAdd) == 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, FirewallFailureTest,
    ::testing::Values(
        FailureCase{"CoCreateInstance", 1, 0x80040154u, "0x80040154"},  // the manager's class is missing
        FailureCase{"INetFwMgr::get_LocalPolicy", 1, 0x80070005u, "0x80070005"},
        FailureCase{"INetFwPolicy::get_CurrentProfile", 1, 0x8007042cu, "0x8007042c"},
        FailureCase{"INetFwProfile::get_AuthorizedApplications", 1, 0x80004005u, "0x80004005"},
        FailureCase{"SysAllocString", 1, 0, "0x8007000e"},  // the path for the look-up
        FailureCase{"INetFwProfile::get_AuthorizedApplications", 2, 0x80070006u, "0x80070006"},
        FailureCase{"CoCreateInstance", 2, 0x80040154u, "0x80040154"},  // the new entry object
        FailureCase{"SysAllocString", 2, 0, "0x8007000e"},              // the path for the entry
        FailureCase{"INetFwAuthorizedApplication::put_ProcessImageFileName", 1, 0x80070057u, "0x80070057"},
        FailureCase{"SysAllocString", 3, 0, "0x8007000e"},  // the name
        FailureCase{"INetFwAuthorizedApplication::put_Name", 1, 0x80070057u, "0x80070057"},
        FailureCase{kAdd, 1, 0x80070005u, "0x80070005"}));  // no right to change the firewall

TEST_F(FirewallTest, MissingManagerTouchesNoList) {
    sim::failOnce("CoCreateInstance", 0x80040154u);
    EXPECT_TRUE(run());
    EXPECT_EQ(sim::transcript(), kLine + warning("0x80040154"));
    EXPECT_EQ(sim::callCount("INetFwMgr::get_LocalPolicy"), 0u);
    EXPECT_EQ(sim::callCount("INetFwProfile::get_AuthorizedApplications"), 0u);
}

TEST_F(FirewallTest, OnlyTheCurrentProfileChanges) {
    // The other profile's enabled entry for the same path does not count.
    sim::setCurrentProfile(sim::kDomainProfile);
    sim::addAuthorizedApplication(sim::kStandardProfile, kServer, L"qmx OPCUA", VARIANT_TRUE);
    sim::addAuthorizedApplication(sim::kStandardProfile, L"C:\\other.exe", L"Other", VARIANT_FALSE);
    const std::wstring standardBefore = current();
    EXPECT_TRUE(run());
    EXPECT_EQ(sim::transcript(), kLine + " ok\n");
    EXPECT_EQ(sim::authorizedApplications(sim::kDomainProfile), entryLine(kServer, L"qmx OPCUA", VARIANT_TRUE));
    EXPECT_EQ(current(), standardBefore);
}

TEST_F(FirewallTest, OtherEntriesOfTheListStay) {
    sim::addAuthorizedApplication(sim::kStandardProfile, L"C:\\other.exe", L"Other", VARIANT_FALSE);
    EXPECT_TRUE(run());
    EXPECT_EQ(current(), entryLine(L"C:\\other.exe", L"Other", 0) + entryLine(kServer, L"qmx OPCUA", -1));
}

TEST_F(FirewallTest, SecondRunFindsItsOwnEntryAndChangesNothing) {
    EXPECT_TRUE(run());
    EXPECT_TRUE(run());
    EXPECT_EQ(sim::transcript(), kLine + " ok\n" + kLine + " ok\n");
    EXPECT_EQ(sim::callCount(kAdd), 1u);
    EXPECT_EQ(current(), entryLine(kServer, L"qmx OPCUA", VARIANT_TRUE));
}

// ---- the path ---------------------------------------------------------------

TEST_F(FirewallTest, PathThatDoesNotFitIsAnInternalErrorBeforeAnyFirewallCall) {
    // 246 characters and the 14 of the file name make 260: one too many.
    std::string destination = "C:\\" + std::string(242, 'd') + "\\";
    ASSERT_EQ(destination.size(), 246u);
    std::strcpy(context.destinationPath, destination.c_str());
    EXPECT_FALSE(run());
    EXPECT_EQ(sim::transcript(), kLine + red("internal error\n"));
    EXPECT_EQ(sim::callCount("MultiByteToWideChar"), 0u);
    EXPECT_EQ(sim::callCount("CoCreateInstance"), 0u);
    EXPECT_EQ(sim::callCount("SysAllocString"), 0u);
}

TEST_F(FirewallTest, LongestPathThatFitsIsRegisteredWhole) {
    std::string destination = "C:\\" + std::string(241, 'd') + "\\";
    std::strcpy(context.destinationPath, destination.c_str());
    EXPECT_TRUE(run());
    EXPECT_EQ(sim::transcript(), kLine + " ok\n");
    const std::wstring image = sim::ansiToWide(destination + "qmx.ua.kyt.exe");
    ASSERT_EQ(image.size(), 259u);
    EXPECT_EQ(current(), entryLine(image, L"qmx OPCUA", VARIANT_TRUE));
}

TEST_F(FirewallTest, PathOutsideAsciiNamesTheInstalledFileThroughTheAnsiCodePage) {
    // "Archivos de programa" with n-tilde (0xF1) and the euro sign (0x80 in 1252).
    const std::string programFiles = "C:\\Archivos de programa \xF1\x80";
    sim::makeDir(programFiles);
    sim::setEnv("ProgramFiles", programFiles);
    ASSERT_TRUE(readProgramFiles(context) && prepareDestination(context));
    const std::string installed = std::string(context.destinationPath) + "qmx.ua.kyt.exe";
    sim::writeFile(installed, "server");  // where the copy puts it
    EXPECT_TRUE(run());
    const std::wstring image = L"C:\\Archivos de programa \u00F1\u20AC\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe";
    EXPECT_EQ(current(), entryLine(image, L"qmx OPCUA", VARIANT_TRUE));
    // Converted back, the registered path opens the file that was written.
    char back[MAX_PATH] = {};
    ASSERT_GT(os::WideCharToMultiByte(CP_ACP, 0, image.c_str(), -1, back, MAX_PATH, nullptr, nullptr), 0);
    EXPECT_EQ(sim::readFile(back), "server");
}

// ---- ensureAuthorizedApplication on its own --------------------------------------

class EnsureTest : public FirewallTest {
protected:
    INetFwMgr* manager = nullptr;
    INetFwPolicy* policy = nullptr;
    INetFwProfile* profile = nullptr;
    void SetUp() override {
        FirewallTest::SetUp();
        ASSERT_EQ(os::CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr,
                                       reinterpret_cast<void**>(&manager)),
                  S_OK);
        ASSERT_EQ(manager->get_LocalPolicy(&policy), S_OK);
        ASSERT_EQ(policy->get_CurrentProfile(&profile), S_OK);
    }
    void TearDown() override {
        profile->Release();
        policy->Release();
        manager->Release();
        FirewallTest::TearDown();
    }
};

TEST_F(EnsureTest, ResultIsTheFirstFailingCodeOrSuccess) {
    EXPECT_EQ(ensureAuthorizedApplication(profile, kServer.c_str()), S_OK);
    sim::addAuthorizedApplication(sim::kStandardProfile, L"C:\\x.exe", L"x", VARIANT_FALSE);
    const char put[] = "INetFwAuthorizedApplication::put_ProcessImageFileName";
    sim::failOnce(put, 0x80070057u, sim::callCount(put) + 1);
    EXPECT_EQ(ensureAuthorizedApplication(profile, L"C:\\x.exe"), E_INVALIDARG);
    EXPECT_EQ(sim::callCount("INetFwAuthorizedApplication::put_Name"), 1u);  // the first call's only
    // The third string of a call is the name.
    sim::failOnce("SysAllocString", 0, sim::callCount("SysAllocString") + 3);
    EXPECT_EQ(ensureAuthorizedApplication(profile, L"C:\\x.exe"), E_OUTOFMEMORY);
    EXPECT_EQ(sim::callCount(kAdd), 1u);
    EXPECT_EQ(ensureAuthorizedApplication(profile, L"C:\\x.exe"), S_OK);
    EXPECT_EQ(current(), entryLine(kServer, L"qmx OPCUA", -1) + entryLine(L"C:\\x.exe", L"qmx OPCUA", -1));
    EXPECT_EQ(sim::transcript(), "");
}

}  // namespace
