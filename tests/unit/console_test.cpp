#include "app/console.h"

#include "sim_test.h"

namespace {

class ConsoleTest : public SimTest {};

TEST_F(ConsoleTest, ChannelsOnDefaultConsole) {
    printInfo("Copying \"%s\"...", "a.exe");
    printError(" failed: 0x%08lx\n", 32ul);
    printWarning("  failed to enum services: 0x%08lx. Will attempt to continue...\n", 5ul);
    printInfo("installation FAILED.\n");
    EXPECT_EQ(sim::transcript(), "Copying \"a.exe\"..." + red(" failed: 0x00000020\n") +
                                     yellow("  failed to enum services: 0x00000005. Will attempt to continue...\n") +
                                     "installation FAILED.\n");
    EXPECT_EQ(sim::currentAttributes(), 7);
}

TEST_F(ConsoleTest, WarningOnBlueConsoleStandsOnBlackThenBlueReturns) {
    sim::setConsole(0x1F, false);
    printInfo("before\n");
    printWarning("warned\n");
    printInfo("after\n");
    EXPECT_EQ(sim::transcript(), "before\n[14]warned\n[/]after\n");
    EXPECT_EQ(sim::currentAttributes(), 0x1F);
}

TEST_F(ConsoleTest, ErrorThenPlainResultLine) {
    sim::setConsole(0x1F, false);
    printError("internal error\n");
    printInfo("installation FAILED.\n");
    EXPECT_EQ(sim::transcript(), red("internal error\n") + "installation FAILED.\n");
}

TEST_F(ConsoleTest, RedirectedOutputHoldsPlainTextAndNoAttributeChange) {
    sim::setConsole(7, true);
    printInfo("a ");
    printWarning("w %d ", 1);
    printError("e %u\n", 2u);
    EXPECT_EQ(sim::transcript(), "a w 1 e 2\n");
    EXPECT_EQ(sim::attributeChanges(), 0u);
    EXPECT_EQ(sim::callCount("SetConsoleTextAttribute"), 0u);
}

TEST_F(ConsoleTest, UnreadableConsoleStateLeavesAttributesAlone) {
    sim::failOnce("GetConsoleScreenBufferInfo", 6);
    printWarning("w\n");
    printError("e\n");
    EXPECT_EQ(sim::transcript(), "w\n" + red("e\n"));
    EXPECT_EQ(sim::callCount("SetConsoleTextAttribute"), 2u);  // only the second message's pair
}

TEST_F(ConsoleTest, EveryMessageIsOnTheConsoleWhenItsCallReturns) {
    printInfo("progress...");
    EXPECT_EQ(sim::unflushedOutput(), "");
    EXPECT_EQ(sim::plainOutput(), "progress...");
}

}  // namespace
