#include "services/service_control.h"

#include <vector>

#include "services_fixture.h"

namespace {

const std::string kStopHeader = "Will stop services...\n";
const std::string kStartHeader = "Will start services...\n";
std::string line(const std::string& name) { return "  service \"" + name + "\"... "; }

// n pauses of `ms`, as sim::sleepLog() shows them.
std::string pauses(unsigned n, unsigned ms) {
    std::string out;
    for (unsigned i = 0; i < n; ++i) out += (i ? "," : "") + std::to_string(ms);
    return out;
}

class ServiceControlTest : public ServicesTest {
protected:
    // A service discovery recorded in `state`, existing in the manager in
    // the same state.
    void service(const std::string& name, DWORD state = SERVICE_RUNNING) {
        sim::addService(name, "Display of " + name, "\"" + kServerFile + "\"", state);
        ASSERT_TRUE(appendService(context.services, "qmx.ua.kyt.exe", name.c_str(), state));
    }
    // What one step printed.
    std::string stop() {
        size_t before = sim::transcript().size();
        EXPECT_TRUE(stopServices(context));
        return sim::transcript().substr(before);
    }
    std::string start() {
        size_t before = sim::transcript().size();
        EXPECT_TRUE(startServices(context));
        return sim::transcript().substr(before);
    }
};

TEST_F(ServiceControlTest, NothingIsPrintedWhenNoEntryWasRunning) {
    EXPECT_TRUE(stopServices(context));  // the empty list
    EXPECT_TRUE(startServices(context));
    for (DWORD state : {SERVICE_STOPPED, SERVICE_PAUSED, SERVICE_START_PENDING, SERVICE_STOP_PENDING, 0u}) {
        service("svc" + std::to_string(state), state);
    }
    EXPECT_TRUE(stopServices(context));
    EXPECT_TRUE(startServices(context));
    EXPECT_EQ(sim::transcript(), "");
    EXPECT_EQ(sim::callCount("OpenSCManagerW"), 0u);
    EXPECT_EQ(sim::serviceRequests(), "");
}

TEST_F(ServiceControlTest, StopThatReturnsStoppedAtOnceAndStartThatRunsAtOnce) {
    service("QmxServer");
    service("QmxIdle", SERVICE_STOPPED);
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + "ok\n");
    EXPECT_EQ(sim::sleepLog(), "");
    EXPECT_EQ(sim::callCount("QueryServiceStatus"), 0u);
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + "ok\n");
    EXPECT_EQ(sim::serviceRequests(), "stop QmxServer,start QmxServer");
    EXPECT_EQ(sim::serviceState("QmxServer"), SERVICE_RUNNING);
    EXPECT_EQ(sim::serviceState("QmxIdle"), SERVICE_STOPPED);
    // One connection to the manager per selected service and operation.
    EXPECT_EQ(sim::callCount("OpenSCManagerW"), 2u);
}

// The stop wait: pauses of the wait hint, each capped at what is left of the
// 30 s after the request. Every status query takes 1 ms of simulated time.
struct StopCase {
    const char* what;
    std::vector<sim::ServicePhase> script;
    std::string sleeps;
    bool stopped;
    uint64_t endsAtMs;
};

class StopWaitTest : public ServiceControlTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopWaitTest, PausesAndOutcome) {
    const StopCase& c = GetParam();
    service("QmxServer");
    sim::scriptStop("QmxServer", c.script);
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + (c.stopped ? "ok\n" : failedWith(1287)));
    EXPECT_EQ(sim::sleepLog(), c.sleeps);
    EXPECT_EQ(sim::now(), c.endsAtMs);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, StopWaitTest,
    ::testing::Values(
        StopCase{"hintsUntilStopped", {{0, SERVICE_STOP_PENDING, 1, 2000}, {5000, SERVICE_STOPPED, 0, 0}},
                 "2000,2000,2000", true, 6003},
        // Each pause follows the latest hint.
        StopCase{"hintChanges",
                 {{0, SERVICE_STOP_PENDING, 1, 500}, {400, SERVICE_STOP_PENDING, 2, 3000}, {3000, SERVICE_STOPPED, 0, 0}},
                 "500,3000", true, 3502},
        // The service accepts the request and keeps running, hint 1 s: the
        // last pause is cut to the deadline.
        StopCase{"neverStopsTimesOut", {{0, SERVICE_RUNNING, 0, 1000}}, pauses(29, 1000) + ",971", false, 30001},
        // A hint longer than the 30 s: one pause up to the deadline, then the
        // time-out, instead of sleeping an hour.
        StopCase{"hourLongHintIsCapped", {{0, SERVICE_STOP_PENDING, 1, 3600000}}, "30000", false, 30001},
        StopCase{"cappedHintThenStopped", {{0, SERVICE_STOP_PENDING, 1, 3600000}, {12000, SERVICE_STOPPED, 0, 0}},
                 "30000", true, 30001},
        StopCase{"longHintThenTheRest", {{0, SERVICE_STOP_PENDING, 1, 20000}}, "20000,9999", false, 30001}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.what); });

TEST_F(ServiceControlTest, StopWithHintZeroPollsWithoutPauseUntilStopped) {
    service("QmxServer");
    sim::scriptStop("QmxServer", {{0, SERVICE_STOP_PENDING, 1, 0}, {50, SERVICE_STOPPED, 0, 0}});
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + "ok\n");
    EXPECT_EQ(sim::totalSlept(), 0u);
    EXPECT_EQ(sim::callCount("QueryServiceStatus"), 51u);  // at 0, 1, ... 50 ms
}

TEST_F(ServiceControlTest, StopWithHintZeroPollsWithoutPauseUntilTheDeadline) {
    service("QmxServer");
    sim::scriptStop("QmxServer", {{0, SERVICE_STOP_PENDING, 1, 0}});
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + failedWith(1287));
    EXPECT_EQ(sim::totalSlept(), 0u);
    EXPECT_EQ(sim::now(), 30001u);  // more than 30000 ms
    EXPECT_EQ(sim::callCount("QueryServiceStatus"), 30001u);
}

// The start wait: a tenth of the hint between queries, held within 1 to 10 s.
// The service raises its checkpoint at every pause and runs after the third.
struct StartPauseCase {
    DWORD hint;
    unsigned pause;
};

class StartPauseTest : public ServiceControlTest, public ::testing::WithParamInterface<StartPauseCase> {};

TEST_P(StartPauseTest, TenthOfTheHintWithinOneAndTenSeconds) {
    const StartPauseCase& c = GetParam();
    service("QmxServer");
    sim::scriptStop("QmxServer", {{0, SERVICE_STOPPED, 0, 0}});
    stop();
    uint64_t t = sim::now();
    sim::scriptStart("QmxServer", {{0, SERVICE_START_PENDING, 1, c.hint},
                                   {c.pause, SERVICE_START_PENDING, 2, c.hint},
                                   {2ull * c.pause + 1, SERVICE_START_PENDING, 3, c.hint},
                                   {3ull * c.pause + 2, SERVICE_RUNNING, 0, 0}});
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + "ok\n");
    EXPECT_EQ(sim::sleepLog(), pauses(3, c.pause));
    EXPECT_EQ(sim::now() - t, 3ull * c.pause + 4);
}

INSTANTIATE_TEST_SUITE_P(Hints, StartPauseTest,
                         ::testing::Values(StartPauseCase{0, 1000}, StartPauseCase{9999, 1000},
                                           StartPauseCase{10000, 1000}, StartPauseCase{15000, 1500},
                                           StartPauseCase{50000, 5000}, StartPauseCase{100000, 10000},
                                           StartPauseCase{100001, 10000}, StartPauseCase{3600000, 10000}));

TEST_F(ServiceControlTest, StartIsAwaitedAsLongAsTheCheckpointRises) {
    service("QmxServer", SERVICE_RUNNING);
    sim::scriptStop("QmxServer", {{0, SERVICE_STOPPED, 0, 0}});
    stop();
    // Start pending for five minutes with a hint of 2 s, the checkpoint rising
    // every second.
    std::vector<sim::ServicePhase> script;
    for (DWORD i = 0; i < 300; ++i) script.push_back({i * 1000ull, SERVICE_START_PENDING, i + 1, 2000});
    script.push_back({300000, SERVICE_RUNNING, 0, 0});
    sim::scriptStart("QmxServer", script);
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + "ok\n");
    EXPECT_GE(sim::totalSlept(), 300000u);
}

TEST_F(ServiceControlTest, StartWithoutProgressEndsAfterTheHint) {
    service("QmxServer", SERVICE_RUNNING);
    stop();
    sim::scriptStart("QmxServer", {{0, SERVICE_START_PENDING, 1, 3000}});
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + failedWith(1287));
    EXPECT_EQ(sim::sleepLog(), "1000,1000,1000");  // 3002 ms without progress is more than 3000
}

TEST_F(ServiceControlTest, StartThatFallsBackToStoppedEndsAtOnce) {
    service("QmxServer", SERVICE_RUNNING);
    stop();
    sim::scriptStart("QmxServer", {{0, SERVICE_START_PENDING, 1, 60000}, {1500, SERVICE_STOPPED, 0, 0}});
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + failedWith(1287));
    EXPECT_EQ(sim::sleepLog(), "6000");
}

TEST_F(ServiceControlTest, ServiceThatIgnoredStopIsStillStartedAndTheRefusalReported) {
    service("QmxServer");
    sim::scriptStop("QmxServer", {{0, SERVICE_RUNNING, 0, 5000}});
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + failedWith(1287));
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + failedWith(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_EQ(sim::serviceState("QmxServer"), SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, ManagerWithoutFullAccessFailsEverySelectedServiceAndGoesOn) {
    service("QmxA");
    service("QmxIdle", SERVICE_STOPPED);
    service("QmxB");
    sim::limitManagerAccess(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    const std::string denied = failedWith(ERROR_ACCESS_DENIED);
    EXPECT_EQ(stop(), kStopHeader + line("QmxA") + denied + line("QmxB") + denied);
    EXPECT_EQ(start(), kStartHeader + line("QmxA") + denied + line("QmxB") + denied);
    EXPECT_EQ(sim::serviceRequests(), "");
}

// One failure per row of the failure table; the second service is handled
// after it in every case.
struct ControlFault {
    const char* what;
    void (*inject)();
    DWORD stopCode;   // 0: this fault is for the start
    DWORD startCode;  // 0: this fault is for the stop
};

class ControlFaultTest : public ServiceControlTest, public ::testing::WithParamInterface<ControlFault> {};

TEST_P(ControlFaultTest, IsReportedOnTheServiceLineWithItsCode) {
    const ControlFault& c = GetParam();
    service("QmxBroken");
    service("QmxServer");
    sim::scriptStop("QmxServer", {{0, SERVICE_STOP_PENDING, 1, 1000}, {1500, SERVICE_STOPPED, 0, 0}});
    if (c.stopCode) {
        c.inject();
        EXPECT_EQ(stop(), kStopHeader + line("QmxBroken") + failedWith(c.stopCode) + line("QmxServer") + "ok\n");
    } else {
        EXPECT_EQ(stop(), kStopHeader + line("QmxBroken") + "ok\n" + line("QmxServer") + "ok\n");
        c.inject();
        EXPECT_EQ(start(), kStartHeader + line("QmxBroken") + failedWith(c.startCode) + line("QmxServer") + "ok\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ControlFaultTest,
    ::testing::Values(
        ControlFault{"stopManager", [] { sim::failOnce("OpenSCManagerW", ERROR_ACCESS_DENIED); }, 5, 0},
        ControlFault{"stopDeletedService", [] { sim::deleteService("QmxBroken"); }, 1060, 0},
        ControlFault{"stopServiceAccess", [] { sim::denyServiceAccess("QmxBroken", SERVICE_STOP); }, 5, 0},
        ControlFault{"stopRefused", [] { sim::refuseStop("QmxBroken", 1051); }, 1051, 0},
        // Stopped by someone else since discovery.
        ControlFault{"stopAlreadyStopped",
                     [] {
                         sim::scriptStop("QmxBroken", {});
                         sim::scriptStart("QmxBroken", {});
                         sim::deleteService("QmxBroken");
                         sim::addService("QmxBroken", "again", "x.exe", SERVICE_STOPPED);
                     },
                     1062, 0},
        ControlFault{"stopQueryFails",
                     [] {
                         sim::scriptStop("QmxBroken", {{0, SERVICE_STOP_PENDING, 1, 100}});
                         sim::failOnce("QueryServiceStatus", ERROR_INVALID_HANDLE);
                     },
                     6, 0},
        ControlFault{"startManager", [] { sim::failOnce("OpenSCManagerW", ERROR_ACCESS_DENIED, 3); }, 0, 5},
        ControlFault{"startDeletedService", [] { sim::deleteService("QmxBroken"); }, 0, 1060},
        ControlFault{"startRefused", [] { sim::refuseStart("QmxBroken", ERROR_SERVICE_DISABLED); }, 0, 1058},
        ControlFault{"startFirstQueryFails",
                     [] { sim::failOnce("QueryServiceStatus", ERROR_ACCESS_DENIED, sim::callCount("QueryServiceStatus") + 1); },
                     0, 5},
        ControlFault{"startQueryFailsWhileWaiting",
                     [] {
                         sim::scriptStart("QmxBroken", {{0, SERVICE_START_PENDING, 1, 5000}});
                         sim::failOnce("QueryServiceStatus", ERROR_INVALID_HANDLE,
                                       sim::callCount("QueryServiceStatus") + 2);
                     },
                     0, 6}),
    [](const ::testing::TestParamInfo<ControlFault>& info) { return std::string(info.param.what); });

// The counter wraps at 2^32 during each wait; elapsed time is the unsigned
// difference, so neither wait ends early nor late.
TEST_F(ServiceControlTest, TickCountWrappingDuringTheWaits) {
    service("QmxServer");
    sim::setTickBase(0xFFFFFFFFu - 1500);
    sim::scriptStop("QmxServer", {{0, SERVICE_STOP_PENDING, 1, 1000}, {4000, SERVICE_STOPPED, 0, 0}});
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + "ok\n");
    EXPECT_EQ(sim::sleepLog(), "1000,1000,1000,1000");

    sim::setTickBase(0xFFFFFFFFu - sim::now() - 1500);
    uint64_t t = sim::now();
    sim::scriptStart("QmxServer", {{0, SERVICE_START_PENDING, 1, 5000}, {3500, SERVICE_RUNNING, 0, 0}});
    EXPECT_EQ(start(), kStartHeader + line("QmxServer") + "ok\n");
    EXPECT_EQ(sim::now() - t, 4005u);  // four pauses: no progress, but never more than the hint

    sim::scriptStop("QmxServer", {{0, SERVICE_STOP_PENDING, 1, 0}});
    sim::setTickBase(0xFFFFFFFFu - sim::now() - 10000);
    t = sim::now();
    EXPECT_EQ(stop(), kStopHeader + line("QmxServer") + failedWith(1287));
    EXPECT_EQ(sim::now() - t, 30001u);
}

}  // namespace
