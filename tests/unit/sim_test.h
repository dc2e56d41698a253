// The fixture of every unit test: a fresh simulated machine before the test,
// and after it the check that the code under test left nothing open.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/console.h"
#include "platform/sim/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/system.h"

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        sim::setEnv("ProgramFiles", "C:\\Program Files");
        sim::makeDir("C:\\Program Files");
    }
    void TearDown() override { EXPECT_EQ(sim::leaks(), "") << "left open by the test's code"; }
};

// Colour marks of the console transcript, as sim::transcript() renders them.
inline std::string yellow(const std::string& text) { return "[14]" + text + "[/]"; }
inline std::string red(const std::string& text) { return "[12]" + text + "[/]"; }
