#include "app/platform_class.h"

#include "sim_test.h"

namespace {

struct VersionCase {
    WORD major, minor, build, revision;
    RuntimeClass expected;
};

class PlatformClassTest : public SimTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(PlatformClassTest, ClassifiesAtTheBoundaries) {
    const VersionCase& c = GetParam();
    sim::setNtdllVersion(c.major, c.minor, c.build, c.revision);
    InstallContext context{};
    detectPlatform(context);
    EXPECT_EQ(context.runtimeClass, c.expected);
    EXPECT_EQ(context.osMajor, c.major);
    EXPECT_EQ(context.osMinor, c.minor);
    EXPECT_EQ(context.osBuild, c.build);
    EXPECT_EQ(context.osRevision, c.revision);
    char line[96];
    std::snprintf(line, sizeof line, "os %u.%u.%u.%u => crt \"%s\"\n", c.major, c.minor, c.build, c.revision,
                  runtimeClassLabel(c.expected));
    EXPECT_EQ(sim::transcript(), line);
}

INSTANTIATE_TEST_SUITE_P(Versions, PlatformClassTest,
                         ::testing::Values(VersionCase{4, 0, 1381, 0, RuntimeNt4},
                                           VersionCase{4, 99, 65535, 65535, RuntimeNt4},
                                           VersionCase{5, 0, 0, 0, RuntimeW2k},
                                           VersionCase{5, 0, 2195, 6717, RuntimeW2k},
                                           VersionCase{5, 1, 2599, 65535, RuntimeW2k},
                                           VersionCase{5, 1, 2600, 5511, RuntimeW2k},
                                           VersionCase{5, 1, 2600, 5512, RuntimeXpSp3},
                                           VersionCase{5, 1, 2601, 0, RuntimeXpSp3},
                                           VersionCase{5, 2, 0, 0, RuntimeXpSp3},
                                           VersionCase{6, 0, 6002, 18005, RuntimeXpSp3},
                                           VersionCase{6, 1, 0, 0, RuntimeCurrent},
                                           VersionCase{6, 1, 7601, 24059, RuntimeCurrent},
                                           VersionCase{10, 0, 19041, 3636, RuntimeCurrent}));

class UnreadableVersionTest : public SimTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnreadableVersionTest, CountsAsZeroAndNt4) {
    sim::failOnce(GetParam(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    InstallContext context{};
    context.osMajor = 9;  // must be cleared, not left over
    detectPlatform(context);
    EXPECT_EQ(context.osMajor + context.osMinor + context.osBuild + context.osRevision, 0u);
    EXPECT_EQ(context.runtimeClass, RuntimeNt4);
    EXPECT_EQ(sim::transcript(), "os 0.0.0.0 => crt \"nt4\"\n");
}

INSTANTIATE_TEST_SUITE_P(EachCall, UnreadableVersionTest,
                         ::testing::Values("GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA",
                                           "malloc"));

TEST(CrtVariant, TableOfEveryCodeAndClass) {
    // Rows: crtVariant 0..8; columns: nt4, w2k, xpsp3, current.
    const char* const expected[] = {"yyyy", "ynnn", "yyyy", "nynn", "nyyy", "nnyn", "nnyy", "nnny", "nnnn"};
    const RuntimeClass classes[] = {RuntimeNt4, RuntimeW2k, RuntimeXpSp3, RuntimeCurrent};
    for (uint32_t variant = 0; variant <= 8; ++variant) {
        std::string row;
        for (RuntimeClass c : classes) row += crtVariantApplies(variant, c) ? 'y' : 'n';
        EXPECT_EQ(row, expected[variant]) << "crtVariant " << variant;
    }
    EXPECT_FALSE(crtVariantApplies(1000, RuntimeCurrent));
}

TEST(CrtVariant, UnknownClassAcceptsOnlyZero) {
    for (uint32_t cls : {0u, 2u, 4u, 6u, 8u, 255u}) {
        EXPECT_TRUE(crtVariantApplies(0, static_cast<RuntimeClass>(cls)));
        for (uint32_t variant = 1; variant <= 8; ++variant) {
            EXPECT_FALSE(crtVariantApplies(variant, static_cast<RuntimeClass>(cls))) << cls << " " << variant;
        }
    }
}

}  // namespace
