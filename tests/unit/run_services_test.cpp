// The service and process steps inside the whole run: their order, and what
// a failure between the stop and the start leaves behind.
#include "app/run.h"

#include "payload_streams.h"
#include "services_fixture.h"

namespace {

const std::string kRunStart =
    "os 10.0.19041.3636 => crt \"current\"\n"
    "Destination: C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\n";

class RunServicesTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        context = InstallContext{};  // the run fills every field itself
        setPayloadResource(101, zlibStream("new control program"));
        setPayloadResource(102, zlibStream("new server"));
    }
    // A machine with the product installed: the server runs as a service,
    // a second service of the control program is stopped, and the control
    // program was started by hand.
    void installedAndRunning(bool withCertificate = true) {
        install();
        if (withCertificate) {
            sim::writeFile(std::string(kDestination) + "instances\\default\\.key", "key");
            sim::writeFile(std::string(kDestination) + "instances\\default\\.cert", "certificate");
        }
        sim::addService("Spooler", "Print Spooler", "C:\\Windows\\System32\\spoolsv.exe", SERVICE_RUNNING);
        sim::addService("QmxCtrl", "QMX UA Control", "\"" + kCtrlFile + "\" -service", SERVICE_STOPPED);
        sim::addService("QmxServer", "QMX UA Server", "\"" + kServerFile + "\" --instance default", SERVICE_RUNNING);
        sim::scriptStop("QmxServer", {{0, SERVICE_STOP_PENDING, 1, 2000}, {3000, SERVICE_STOPPED, 0, 0}});
        sim::scriptStart("QmxServer", {{0, SERVICE_START_PENDING, 1, 2000}, {1500, SERVICE_RUNNING, 0, 0}});
        sim::addProcess(1500, kCtrlFile);
    }
};

TEST_F(RunServicesTest, SecondRunStopsKillsAndRestarts) {
    installedAndRunning();
    EXPECT_TRUE(runInstallation(context));
    EXPECT_EQ(sim::transcript(), kRunStart +
                                     "Discovering services for \"qmx.ua.kyt.ctrl.exe\"...\n"
                                     "  QmxCtrl -> stopped\n"
                                     "Discovering services for \"qmx.ua.kyt.exe\"...\n"
                                     "  QmxServer -> running\n"
                                     "Will stop services...\n"
                                     "  service \"QmxServer\"... ok\n"
                                     "Checking processes for \"qmx.ua.kyt.ctrl.exe\"...\n"
                                     "  will kill process 1500... ok\n"
                                     "Checking processes for \"qmx.ua.kyt.exe\"...\n"
                                     "Copying \"qmx.ua.kyt.ctrl.exe\"... ok\n"
                                     "Copying \"qmx.ua.kyt.exe\"... ok\n"
                                     "Generating default certificate...\n"
                                     "  default certificate exists already. Will skip.\n"
                                     "Will configure firewall...\n"
                                     "  exception for \"qmx.ua.kyt.exe\"... ok\n"
                                     "Will start services...\n"
                                     "  service \"QmxServer\"... ok\n");
    EXPECT_EQ(sim::serviceRequests(), "stop QmxServer,start QmxServer");
    EXPECT_EQ(sim::serviceState("QmxServer"), SERVICE_RUNNING);
    EXPECT_EQ(sim::serviceState("QmxCtrl"), SERVICE_STOPPED);
    EXPECT_EQ(sim::terminatedProcesses(), "1500");
    EXPECT_EQ(sim::readFile(kCtrlFile), "new control program");
    EXPECT_EQ(sim::readFile(kServerFile), "new server");
}

// A copy that fails after the stop ends the run: the services it stopped
// stay stopped, and no certificate is made.
TEST_F(RunServicesTest, CopyFailureLeavesTheServicesStopped) {
    installedAndRunning(false);
    sim::removeResource(PAYLOAD_RESOURCE_TYPE, 102);
    EXPECT_FALSE(runInstallation(context));
    EXPECT_EQ(sim::transcript(), kRunStart +
                                     "Discovering services for \"qmx.ua.kyt.ctrl.exe\"...\n"
                                     "  QmxCtrl -> stopped\n"
                                     "Discovering services for \"qmx.ua.kyt.exe\"...\n"
                                     "  QmxServer -> running\n"
                                     "Will stop services...\n"
                                     "  service \"QmxServer\"... ok\n"
                                     "Checking processes for \"qmx.ua.kyt.ctrl.exe\"...\n"
                                     "  will kill process 1500... ok\n"
                                     "Checking processes for \"qmx.ua.kyt.exe\"...\n"
                                     "Copying \"qmx.ua.kyt.ctrl.exe\"... ok\n"
                                     "Copying \"qmx.ua.kyt.exe\"..." +
                                     red(" failed: 0x00000716\n"));
    EXPECT_EQ(sim::serviceRequests(), "stop QmxServer");
    EXPECT_EQ(sim::serviceState("QmxServer"), SERVICE_STOPPED);
    EXPECT_FALSE(sim::exists(std::string(kDestination) + "instances"));
}

TEST_F(RunServicesTest, PathThatDoesNotFitEndsTheRunBeforeAnythingIsStopped) {
    // Program Files of 236 characters: the destination has 259 and no file
    // name fits behind it.
    std::string programFiles = "C:\\" + std::string(233, 'p');
    sim::makeDir(programFiles);
    sim::setEnv("ProgramFiles", programFiles);
    sim::addService("QmxServer", "QMX UA Server", "C:\\x.exe", SERVICE_RUNNING);
    EXPECT_FALSE(runInstallation(context));
    EXPECT_EQ(sim::transcript(), "os 10.0.19041.3636 => crt \"current\"\nDestination: " + programFiles +
                                     "\\Morvane\\QMX.UA\\kyt\\\n" + red("internal error\n"));
    EXPECT_EQ(sim::serviceRequests(), "");
}

}  // namespace
