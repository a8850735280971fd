// A person ends the program: with "Exit Program" (asked first), or the
// system asks it to end (SIGTERM, as at log-out). Either way it ends the
// orderly way: the settings saved, "Nocturo ended" in the action log.
#include <QtTest>

#include <csignal>
#include <string>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

namespace {

// A count typed in the options panel and not saved with "Save Options".
void leaveAnUnsavedCount(ProgramOnDesktop& p, const std::string& count) {
    p.openOptions();
    p.type("txtCounter", count);
    p.press(Qt::Key_Tab);
    ASSERT_NE(p.setting("txtCounter"), count) << "the count was saved before the end";
}

bool endedOrderly(ProgramOnDesktop& p) {
    const auto log = p.actionLog();
    return !log.empty() && log.back() == "Nocturo ended";
}

}  // namespace

TEST(End, ExitProgramAsksFirstNoKeepsItRunningYesEndsIt) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    leaveAnUnsavedCount(p, "7");

    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("No")}});
    p.click("cmdExit");
    ASSERT_EQ(boxes->size(), 1u);
    EXPECT_EQ(boxes->text(0), "Are you sure to Exit Program ?");
    p.wait(500);
    EXPECT_FALSE(p.ended());
    EXPECT_TRUE(p.windowShown("FrmMain"));

    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("Yes")}});
    p.click("cmdExit");
    EXPECT_EQ(boxes->text(0), "Are you sure to Exit Program ?");
    ASSERT_TRUE(p.waitFor([&] { return p.ended(); }, 5000)) << "the program did not end";
    EXPECT_FALSE(p.windowShown("FrmMain"));
    EXPECT_TRUE(endedOrderly(p));
    EXPECT_EQ(p.setting("txtCounter"), "7") << "the settings were not saved at the end";
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}

TEST(End, SigtermEndsTheProgramTheOrderlyWay) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    leaveAnUnsavedCount(p, "4");
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_TRUE(p.waitFor([&] { return p.ended(); }, 5000)) << "the program did not end";
    EXPECT_FALSE(p.windowShown("FrmMain"));
    EXPECT_TRUE(endedOrderly(p));
    EXPECT_EQ(p.setting("txtCounter"), "4") << "the settings were not saved at the end";
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}
