#include "services/same_file.h"

#include "sim_test.h"

namespace {

class SameFileTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::writeFile("C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe", "server");
        sim::writeFile("C:\\Backup\\qmx.ua.kyt.exe", "server");  // a copy: same bytes, another file
        sim::addLink("C:\\Program Files\\Morvane\\QMX.UA\\kyt\\QMXUAK~1.EXE",
                     "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe");
        sim::makeDir("C:\\Links");
        sim::addLink("C:\\Links\\server.exe", "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe");
    }
    const char* installed = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe";
};

TEST_F(SameFileTest, IdentityDecidesNotTheSpelling) {
    const struct {
        const char* other;
        bool same;
    } cases[] = {
        {"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe", true},
        {"c:/PROGRAM FILES/morvane/qmx.ua/KYT/QMX.UA.KYT.EXE", true},
        {"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\QMXUAK~1.EXE", true},
        {"C:\\Links\\server.exe", true},
        {"C:\\Backup\\qmx.ua.kyt.exe", false},
        {"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\absent.exe", false},
        {"C:\\Program Files\\Morvane\\QMX.UA\\kyt", false},  // a folder does not open
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isSameFile(installed, c.other), c.same) << c.other;
        EXPECT_EQ(isSameFile(c.other, installed), c.same) << c.other;
    }
}

TEST_F(SameFileTest, FileHeldByAnotherProcessIsNotTheSame) {
    sim::holdFile(installed, sim::kForever);
    EXPECT_FALSE(isSameFile(installed, installed));
}

TEST_F(SameFileTest, FailedQueryOfEitherFileIsNotTheSame) {
    for (unsigned nth : {1u, 2u}) {
        sim::reset();
        SetUp();
        sim::failOnce("GetFileInformationByHandle", ERROR_ACCESS_DENIED, nth);
        EXPECT_FALSE(isSameFile(installed, "C:\\Links\\server.exe")) << nth;
        EXPECT_EQ(sim::leaks(), "") << nth;
    }
}

TEST_F(SameFileTest, FailedOpenOfEitherFileClosesTheOther) {
    for (unsigned nth : {1u, 2u}) {
        sim::reset();
        SetUp();
        sim::failOnce("CreateFileA", ERROR_ACCESS_DENIED, nth);
        EXPECT_FALSE(isSameFile(installed, installed)) << nth;
        EXPECT_EQ(sim::leaks(), "") << nth;
    }
}

}  // namespace
