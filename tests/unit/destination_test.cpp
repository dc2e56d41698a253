#include "app/destination.h"

#include <cstring>

#include "sim_test.h"

namespace {

class DestinationTest : public SimTest {
protected:
    InstallContext context{};
    bool prepare() { return readProgramFiles(context) && prepareDestination(context); }
};

TEST_F(DestinationTest, BuildsAndCreatesBelowProgramFiles) {
    ASSERT_TRUE(prepare());
    EXPECT_STREQ(context.destinationPath, "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\");
    EXPECT_EQ(sim::transcript(), "Destination: C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\n");
    EXPECT_EQ(sim::fileTree(),
              "C:\\\nC:\\Program Files\\\nC:\\Program Files\\Morvane\\\nC:\\Program Files\\Morvane\\QMX.UA\\\n"
              "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\nD:\\\n");
}

TEST_F(DestinationTest, DriveRootGetsNoSecondBackslash) {
    sim::setEnv("ProgramFiles", "D:\\");
    ASSERT_TRUE(prepare());
    EXPECT_EQ(sim::transcript(), "Destination: D:\\Morvane\\QMX.UA\\kyt\\\n");
    EXPECT_TRUE(sim::isDir("D:\\Morvane\\QMX.UA\\kyt"));
}

TEST_F(DestinationTest, EmptyValueGivesTheRootOfTheCurrentDrive) {
    sim::setEnv("ProgramFiles", "");
    ASSERT_TRUE(prepare());
    EXPECT_EQ(sim::transcript(), "Destination: \\Morvane\\QMX.UA\\kyt\\\n");
    EXPECT_TRUE(sim::isDir("C:\\Morvane\\QMX.UA\\kyt"));
}

TEST_F(DestinationTest, ExistingFoldersAreSilentAndASecondRunPrintsTheSameLine) {
    ASSERT_TRUE(prepare());
    ASSERT_TRUE(prepare());
    const std::string line = "Destination: C:\\Program Files\\Morvane\\QMX.UA\\kyt\\\n";
    EXPECT_EQ(sim::transcript(), line + line);
}

TEST_F(DestinationTest, FileInPlaceOfTheLastFolderCountsAsExisting) {
    sim::writeFile("C:\\Program Files\\Morvane\\QMX.UA\\kyt", "not a folder");
    ASSERT_TRUE(prepare());
    EXPECT_FALSE(sim::isDir("C:\\Program Files\\Morvane\\QMX.UA\\kyt"));
}

TEST_F(DestinationTest, MissingVariable) {
    sim::unsetEnv("ProgramFiles");
    EXPECT_FALSE(readProgramFiles(context));
    EXPECT_EQ(sim::transcript(), red("Failed to get \"Program Files\": 0x000000cb\n"));
}

TEST_F(DestinationTest, VariableReadFailsWithItsCode) {
    sim::failOnce("GetEnvironmentVariableA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(readProgramFiles(context));
    EXPECT_EQ(sim::transcript(), red("Failed to get \"Program Files\": 0x00000008\n"));
}

TEST_F(DestinationTest, ValueOfTwoHundredSixtyCharactersDoesNotFit) {
    sim::setEnv("ProgramFiles", "C:\\" + std::string(257, 'p'));
    EXPECT_FALSE(readProgramFiles(context));
    EXPECT_EQ(sim::transcript(), red("internal error\n"));
    EXPECT_EQ(sim::callCount("CreateDirectoryA"), 0u);
}

TEST_F(DestinationTest, AccessDeniedOnTheFirstFolder) {
    sim::failOnce("CreateDirectoryA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(prepare());
    EXPECT_EQ(sim::transcript(), red("Failed to create dir \"C:\\Program Files\\Morvane\": 0x00000005\n"));
}

TEST_F(DestinationTest, MissingProgramFilesFolderIsNeverCreated) {
    sim::setEnv("ProgramFiles", "C:\\Programs");
    EXPECT_FALSE(prepare());
    EXPECT_EQ(sim::transcript(), red("Failed to create dir \"C:\\Programs\\Morvane\": 0x00000003\n"));
    EXPECT_FALSE(sim::exists("C:\\Programs"));
}

// Program Files paths whose destination overflows at each append, and the
// folders that exist when the overflow is noticed.
struct OverflowCase {
    size_t length;
    int foldersMade;
};

class DestinationOverflowTest : public DestinationTest, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(DestinationOverflowTest, StopsWithInternalErrorAndKeepsEarlierFolders) {
    const OverflowCase& c = GetParam();
    std::string base = "C:\\" + std::string(c.length - 3, 'p');
    sim::makeDir(base);
    sim::setEnv("ProgramFiles", base);
    EXPECT_FALSE(prepare());
    EXPECT_EQ(sim::transcript(), red("internal error\n"));
    const char* const levels[] = {"\\Morvane", "\\QMX.UA", "\\kyt"};
    std::string path = base;
    for (int i = 0; i < 3; ++i) {
        path += levels[i];
        EXPECT_EQ(sim::isDir(path), i < c.foldersMade) << path.substr(base.size());
    }
}

INSTANTIATE_TEST_SUITE_P(EachAppend, DestinationOverflowTest,
                         ::testing::Values(OverflowCase{259, 0},    // the first backslash
                                           OverflowCase{252, 0},    // "Morvane"
                                           OverflowCase{251, 1},    // the backslash after it
                                           OverflowCase{245, 1},    // "QMX.UA"
                                           OverflowCase{244, 2},    // the backslash after it
                                           OverflowCase{241, 2},    // "kyt"
                                           OverflowCase{240, 3}));  // the last backslash

TEST_F(DestinationTest, LongestPathThatFits) {
    std::string base = "C:\\" + std::string(236, 'p');
    sim::makeDir(base);
    sim::setEnv("ProgramFiles", base);
    ASSERT_TRUE(prepare());
    EXPECT_EQ(std::strlen(context.destinationPath), 259u);
}

class EnsureSubdirsTest : public DestinationTest {
protected:
    void SetUp() override {
        DestinationTest::SetUp();
        std::strcpy(context.destinationPath, "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\");
        sim::makeDir(context.destinationPath);
    }
};

TEST_F(EnsureSubdirsTest, PlainFileNameCreatesNothing) {
    unsigned before = sim::fileChanges();
    EXPECT_TRUE(ensureSubdirs(context, "qmx.ua.kyt.ctrl.exe"));
    EXPECT_EQ(sim::fileChanges(), before);
    EXPECT_EQ(sim::transcript(), "");
}

TEST_F(EnsureSubdirsTest, CreatesEachFolderButNotTheFile) {
    EXPECT_TRUE(ensureSubdirs(context, "instances\\default\\.cert"));
    EXPECT_TRUE(sim::isDir("C:\\Program Files\\Morvane\\QMX.UA\\kyt\\instances\\default"));
    EXPECT_FALSE(sim::exists("C:\\Program Files\\Morvane\\QMX.UA\\kyt\\instances\\default\\.cert"));
    EXPECT_EQ(sim::callCount("CreateDirectoryA"), 2u);
    EXPECT_EQ(sim::transcript(), "");
    EXPECT_TRUE(ensureSubdirs(context, "instances\\default\\.key"));  // existing folders are fine
}

TEST_F(EnsureSubdirsTest, FailureEndsTheProgressLineAndIndents) {
    sim::failOnce("CreateDirectoryA", ERROR_ACCESS_DENIED, 2);
    EXPECT_FALSE(ensureSubdirs(context, "sub1\\sub2\\file.exe"));
    EXPECT_EQ(sim::transcript(),
              "\n  " + red("Failed to create dir \"C:\\Program Files\\Morvane\\QMX.UA\\kyt\\sub1\\sub2\": 0x00000005\n"));
    EXPECT_TRUE(sim::isDir("C:\\Program Files\\Morvane\\QMX.UA\\kyt\\sub1"));
}

TEST_F(EnsureSubdirsTest, OverflowIsAnInternalErrorWithoutIndent) {
    std::string longName = std::string(240, 'd') + "\\file.exe";
    EXPECT_FALSE(ensureSubdirs(context, longName.c_str()));
    EXPECT_EQ(sim::transcript(), red("internal error\n"));
    EXPECT_EQ(sim::callCount("CreateDirectoryA"), 0u);
}

}  // namespace
