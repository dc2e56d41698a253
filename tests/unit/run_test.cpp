// Whole runs from the process entry: every step in its place, the result line
// and the exit code, on an empty machine and over an installed product.
#include "app/entry.h"

#include "payload_streams.h"
#include "platform/sim/codepage.h"
#include "platform/sim/com.h"
#include "platform/sim/firewall.h"
#include "platform/sim/processes.h"
#include "platform/sim/services.h"
#include "sim_test.h"

namespace {

const std::string kDestination = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\";
const std::string kCtrlFile = kDestination + "qmx.ua.kyt.ctrl.exe";
const std::string kServerFile = kDestination + "qmx.ua.kyt.exe";
const std::wstring kServerEntry = sim::ansiToWide(kServerFile) + L"|qmx OPCUA|-1\n";

const std::string kHead =
    "qmx installer 3.11.0.0, 64-bit\n"
    "os 10.0.19041.3636 => crt \"current\"\n"
    "Destination: C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\n";
const std::string kCopies =
    "Copying \"qmx.ua.kyt.ctrl.exe\"... ok\n"
    "Copying \"qmx.ua.kyt.exe\"... ok\n";
const std::string kCertificateSkipped =
    "Generating default certificate...\n"
    "  default certificate exists already. Will skip.\n";
const std::string kFirewall =
    "Will configure firewall...\n"
    "  exception for \"qmx.ua.kyt.exe\"... ok\n";
// Discovery, stop and process check over the installed product below.
const std::string kBeforeCopies =
    "Discovering services for \"qmx.ua.kyt.ctrl.exe\"...\n"
    "Discovering services for \"qmx.ua.kyt.exe\"...\n"
    "  QmxServer -> running\n"
    "Will stop services...\n"
    "  service \"QmxServer\"... ok\n"
    "Checking processes for \"qmx.ua.kyt.ctrl.exe\"...\n"
    "  will kill process 1500... ok\n"
    "Checking processes for \"qmx.ua.kyt.exe\"...\n";
const std::string kRestart =
    "Will start services...\n"
    "  service \"QmxServer\"... ok\n";

class RunTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        setPayloadResource(101, zlibStream("new control program"));
        setPayloadResource(102, zlibStream("new server"));
    }
    int run() {
        char program[] = "qmx-installer.exe";
        char* argv[] = {program, nullptr};
        return installerMain(1, argv);
    }
    void certificate() {
        sim::writeFile(kDestination + "instances\\default\\.key", "key");
        sim::writeFile(kDestination + "instances\\default\\.cert", "certificate");
    }
    // What a previous installation left: both files, the certificate, the
    // firewall entry, the server running as a service, and the control
    // program started by hand.
    void installedAndRunning(bool withCertificate = true) {
        sim::writeFile(kCtrlFile, "old control program");
        sim::writeFile(kServerFile, "old server");
        if (withCertificate) certificate();
        sim::addAuthorizedApplication(sim::kStandardProfile, sim::ansiToWide(kServerFile), L"qmx OPCUA", VARIANT_TRUE);
        sim::addService("Spooler", "Print Spooler", "C:\\Windows\\System32\\spoolsv.exe", SERVICE_RUNNING);
        sim::addService("QmxServer", "QMX UA Server", "\"" + kServerFile + "\" --instance default", SERVICE_RUNNING);
        sim::addProcess(1500, kCtrlFile);
    }
};

TEST_F(RunTest, FirstInstallationOnAnEmptyMachine) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sim::transcript(), kHead + kCopies + "Generating default certificate... ok\n" + kFirewall +
                                     "installation SUCCEEDED!\n");
    EXPECT_EQ(sim::readFile(kCtrlFile), "new control program");
    EXPECT_EQ(sim::readFile(kServerFile), "new server");
    EXPECT_TRUE(sim::exists(kDestination + "instances\\default\\.key"));
    EXPECT_TRUE(sim::exists(kDestination + "instances\\default\\.cert"));
    EXPECT_EQ(sim::authorizedApplications(sim::kStandardProfile), kServerEntry);
    EXPECT_EQ(sim::serviceRequests(), "");
}

TEST_F(RunTest, ExistingCertificateIsSkippedAndTheRunGoesOn) {
    certificate();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sim::transcript(), kHead + kCopies + kCertificateSkipped + kFirewall + "installation SUCCEEDED!\n");
    EXPECT_EQ(sim::readFile(kDestination + "instances\\default\\.cert"), "certificate");
    EXPECT_EQ(sim::authorizedApplications(sim::kStandardProfile), kServerEntry);
}

TEST_F(RunTest, SecondRunOverAnInstalledRunningProduct) {
    installedAndRunning();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sim::transcript(),
              kHead + kBeforeCopies + kCopies + kCertificateSkipped + kFirewall + kRestart + "installation SUCCEEDED!\n");
    EXPECT_EQ(sim::serviceRequests(), "stop QmxServer,start QmxServer");
    EXPECT_EQ(sim::terminatedProcesses(), "1500");
    EXPECT_EQ(sim::readFile(kServerFile), "new server");
    EXPECT_EQ(sim::readFile(kDestination + "instances\\default\\.key"), "key");
    // The entry was found enabled: nothing added.
    EXPECT_EQ(sim::callCount("INetFwAuthorizedApplications::Add"), 0u);
    EXPECT_EQ(sim::authorizedApplications(sim::kStandardProfile), kServerEntry);
}

TEST_F(RunTest, CopyFailureAfterTheStopLeavesServicesStoppedAndTouchesNothingElse) {
    installedAndRunning(false);
    sim::removeResource(PAYLOAD_RESOURCE_TYPE, 102);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(sim::transcript(), kHead + kBeforeCopies + "Copying \"qmx.ua.kyt.ctrl.exe\"... ok\n" +
                                     "Copying \"qmx.ua.kyt.exe\"..." + red(" failed: 0x00000716\n") +
                                     "installation FAILED.\n");
    EXPECT_EQ(sim::serviceRequests(), "stop QmxServer");
    EXPECT_EQ(sim::serviceState("QmxServer"), SERVICE_STOPPED);
    EXPECT_FALSE(sim::exists(kDestination + "instances\\default\\.cert"));
    EXPECT_EQ(sim::callCount("CoInitializeEx"), 0u);
}

TEST_F(RunTest, ComInitialisationFailureIsAWarningAndTheServicesStartAgain) {
    installedAndRunning();
    sim::failOnce("CoInitializeEx", 0x8007000Eu);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sim::transcript(), kHead + kBeforeCopies + kCopies + kCertificateSkipped + "Will configure firewall...\n" +
                                     yellow("  CoInitializeEx failed: 0x8007000e. Will attempt to continue...\n") +
                                     kRestart + "installation SUCCEEDED!\n");
    EXPECT_EQ(sim::serviceRequests(), "stop QmxServer,start QmxServer");
    EXPECT_EQ(sim::callCount("CoCreateInstance"), 0u);
    EXPECT_EQ(sim::callCount("CoUninitialize"), 0u);
}

TEST_F(RunTest, MissingFirewallManagerStillReachesTheRestart) {
    installedAndRunning();
    sim::failOnce("CoCreateInstance", 0x80040154u);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sim::transcript(), kHead + kBeforeCopies + kCopies + kCertificateSkipped + "Will configure firewall...\n" +
                                     "  exception for \"qmx.ua.kyt.exe\"..." +
                                     yellow(" failed: 0x80040154. Will attempt to continue...\n") + kRestart +
                                     "installation SUCCEEDED!\n");
    EXPECT_EQ(sim::serviceState("QmxServer"), SERVICE_RUNNING);
}

}  // namespace
