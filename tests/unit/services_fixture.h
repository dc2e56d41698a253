// The fixture of the service and process tests: a machine with the
// destination folder, a context pointing at it, and the run's service list
// released before the nothing-left-open check.
#pragma once

#include <cstring>
#include <string>

#include "app/context.h"
#include "payload/catalogue.h"
#include "platform/sim/processes.h"
#include "platform/sim/services.h"
#include "sim_test.h"

const char kDestination[] = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\";
const std::string kCtrlFile = std::string(kDestination) + "qmx.ua.kyt.ctrl.exe";
const std::string kServerFile = std::string(kDestination) + "qmx.ua.kyt.exe";
const PayloadEntry& kCtrlEntry = kPayloadCatalogue[0];
const PayloadEntry& kServerEntry = kPayloadCatalogue[1];

class ServicesTest : public SimTest {
protected:
    InstallContext context{};

    void SetUp() override {
        SimTest::SetUp();
        std::strcpy(context.destinationPath, kDestination);
        context.runtimeClass = RuntimeCurrent;
        sim::makeDir(kDestination);
    }
    void TearDown() override {
        releaseServiceList(context.services);
        SimTest::TearDown();
    }
    // Both executables as a previous installation left them.
    void install() {
        sim::writeFile(kCtrlFile, "old control program");
        sim::writeFile(kServerFile, "old server");
    }
};

// The state a warning line completes: "failed: 0x%08lx. Will attempt to continue...\n" in yellow.
inline std::string failedWith(unsigned code) {
    char text[64];
    std::snprintf(text, sizeof text, "failed: 0x%08x. Will attempt to continue...\n", code);
    return yellow(text);
}
