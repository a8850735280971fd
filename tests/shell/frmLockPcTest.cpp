// The lock window: the options password unlocks it and ends the program, a
// wrong one makes the next try wait longer each time, and without an options
// password the desktop's own lock takes over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/frmLockPc.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

struct Locked {
    SimWorld w{platform::PathStyle::Posix};
    frmLockPc f;
    bool unloaded = false;
    explicit Locked(const std::string& password = "Night0wl") {
        if (!password.empty()) WriteSetting(MachineApp(), kSettings, "poption", Encrypt3(password, ""));
        f.onUnloaded = [this] { unloaded = true; };
    }
    void type(const std::string& entry) {
        f.txtPassword.setText(entry);
        f.fireEvent("cmdUnlock.Click");
    }
    bool logged(const std::string& text) {
        for (const auto& line : w.actionLogLines())
            if (line == text) return true;
        return false;
    }
};

bool startsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

}  // namespace

TEST(LockPc, TheWindowIsTitledForTheMainProgramToFindAndFillsTheScreenOnTop) {
    Locked l;
    EXPECT_EQ(l.f.caption(), "2LockPc2");
    l.f.Form_Load();
    EXPECT_EQ(l.f.caption(), "2LockPc2");
    EXPECT_TRUE(l.f.visible());
    EXPECT_TRUE(l.f.topMost());
    EXPECT_EQ(l.f.left(), 0);
    EXPECT_EQ(l.f.top(), 0);
    EXPECT_EQ(l.f.width(), l.w.screen.screenWidthTwips());
    EXPECT_EQ(l.f.height(), l.w.screen.screenHeightTwips());
    EXPECT_TRUE(l.f.txtPassword.password());
    EXPECT_NE(l.f.lblInfo.caption().find("locked by Nocturo"), std::string::npos);
    EXPECT_EQ(l.f.cmdUnlock.caption(), "&Unlock");
    EXPECT_EQ(l.w.count("LockWorkStation"), 0);
}

TEST(LockPc, TheOptionsPasswordUnlocksLogsTheUnlockAndEndsTheProgram) {
    Locked l;
    l.f.Form_Load();
    l.type("Night0wl");
    EXPECT_TRUE(l.f.ended());
    EXPECT_TRUE(l.unloaded);
    EXPECT_FALSE(l.f.visible());
    EXPECT_FALSE(l.f.loaded());
    EXPECT_TRUE(l.logged("unlock LockPC"));
    EXPECT_EQ(l.w.errorLog().find("frmLockPc"), std::string::npos);
}

TEST(LockPc, AWrongPasswordIsRefusedAndTheEntryCleared) {
    for (const std::string wrong : {"", "night0wl", "Night0wl ", "Night0w", "x"}) {
        Locked l;
        l.f.Form_Load();
        l.type(wrong);
        EXPECT_FALSE(l.f.ended()) << wrong;
        EXPECT_TRUE(l.f.visible()) << wrong;
        EXPECT_FALSE(l.unloaded) << wrong;
        EXPECT_TRUE(startsWith(l.f.lblStatus.caption(), "Wrong password")) << l.f.lblStatus.caption();
        EXPECT_EQ(l.f.txtPassword.text(), "") << wrong;
        EXPECT_EQ(l.f.failedTries(), 1) << wrong;
        EXPECT_FALSE(l.logged("unlock LockPC")) << wrong;
    }
}

TEST(LockPc, TheWaitAfterEachWrongPasswordDoublesUpToThirtySeconds) {
    struct Row {
        int failures;
        int seconds;
    };
    for (const Row& row : {Row{0, 0}, Row{1, 1}, Row{2, 2}, Row{3, 4}, Row{4, 8}, Row{5, 16}, Row{6, 30}, Row{7, 30},
                           Row{40, 30}})
        EXPECT_EQ(frmLockPc::delaySecondsAfter(row.failures), row.seconds) << row.failures;

    Locked l;
    l.f.Form_Load();
    const std::vector<int> expected = {1, 2, 4, 8, 16, 30, 30};
    for (size_t i = 0; i < expected.size(); ++i) {
        l.type("wrong");
        EXPECT_EQ(l.f.failedTries(), static_cast<int>(i) + 1);
        EXPECT_EQ(l.f.waitLeftMs(), expected[i] * 1000LL) << i;
        l.w.clock.advance(expected[i] * 1000LL);
        EXPECT_EQ(l.f.waitLeftMs(), 0) << i;
    }
}

TEST(LockPc, ATryDuringTheWaitIsRefusedWithoutLookingAtThePassword) {
    Locked l;
    l.f.Form_Load();
    l.type("wrong");
    l.type("wrong");  // refused at once: the second second of waiting
    EXPECT_EQ(l.f.failedTries(), 1);
    l.w.clock.advance(1000);
    l.type("wrong");
    EXPECT_EQ(l.f.failedTries(), 2);
    EXPECT_EQ(l.f.waitLeftMs(), 2000);

    // Even the right password waits its turn.
    l.w.clock.advance(1999);
    l.type("Night0wl");
    EXPECT_FALSE(l.f.ended());
    EXPECT_EQ(l.f.failedTries(), 2);
    EXPECT_EQ(l.f.txtPassword.text(), "");
    EXPECT_TRUE(startsWith(l.f.lblStatus.caption(), "Please wait 1 s")) << l.f.lblStatus.caption();
    l.w.clock.advance(1);
    l.type("Night0wl");
    EXPECT_TRUE(l.f.ended());
}

TEST(LockPc, TheStatusCountsTheWaitDownOnTheLoopsTimer) {
    Locked l;
    l.f.Form_Load();
    l.type("a");
    l.w.clock.advance(1000);
    l.type("b");
    EXPECT_EQ(l.f.lblStatus.caption(), "Wrong password. Next try in 2 s.");
    l.w.loop.runFor(1000);
    EXPECT_EQ(l.f.lblStatus.caption(), "Wrong password. Next try in 1 s.");
    l.w.loop.runFor(1000);
    EXPECT_EQ(l.f.lblStatus.caption(), "Wrong password. Try again.");
    EXPECT_FALSE(l.f.tmrWait.enabled());
}

TEST(LockPc, WithoutAnOptionsPasswordTheDesktopsLockTakesOverAndTheProgramEnds) {
    Locked l("");
    l.f.Form_Load();
    EXPECT_EQ(l.w.count("LockWorkStation"), 1);
    EXPECT_TRUE(l.f.ended());
    EXPECT_TRUE(l.unloaded);
    EXPECT_FALSE(l.f.visible());
    EXPECT_TRUE(l.logged("LockPC: desktop lock"));
    EXPECT_EQ(l.w.errorLog().find("frmLockPc"), std::string::npos);
}

TEST(LockPc, ARefusedDesktopLockKeepsTheWindowUpAndIsLogged) {
    Locked l("");
    l.w.power.setRefuse(true);
    l.f.Form_Load();
    EXPECT_EQ(l.w.count("LockWorkStation"), 1);
    EXPECT_FALSE(l.f.ended());
    EXPECT_FALSE(l.unloaded);
    EXPECT_TRUE(l.f.visible());
    EXPECT_NE(l.f.lblStatus.caption().find("could not be locked"), std::string::npos);
    EXPECT_NE(l.f.lblStatus.caption().find("options password"), std::string::npos);
    EXPECT_NE(l.w.errorLog().find("Form_Load of Formular frmLockPc"), std::string::npos);
    EXPECT_FALSE(l.logged("LockPC: desktop lock"));

    // Unlock asks the desktop again; once it locks, the window goes.
    l.w.power.setRefuse(false);
    l.f.fireEvent("cmdUnlock.Click");
    EXPECT_EQ(l.w.count("LockWorkStation"), 2);
    EXPECT_TRUE(l.f.ended());
    EXPECT_TRUE(l.logged("LockPC: desktop lock"));
}

TEST(LockPc, HidingAndShowingFollowTheMainProgramsScreenSaver) {
    Locked l;
    l.f.Form_Load();
    l.f.HideLock();
    EXPECT_FALSE(l.f.visible());
    EXPECT_TRUE(l.f.loaded());
    l.f.HideLock();
    EXPECT_FALSE(l.f.visible());
    l.f.ShowLock();
    EXPECT_TRUE(l.f.visible());
    EXPECT_TRUE(l.f.foreground());

    // Once unlocked, a late signal brings nothing back.
    l.type("Night0wl");
    l.f.ShowLock();
    EXPECT_FALSE(l.f.visible());
    EXPECT_FALSE(l.f.loaded());
}

TEST(LockPc, TheCloseBoxDoesNothing) {
    Locked l;
    l.f.Form_Load();
    EXPECT_FALSE(l.f.fireEvent("Form.Close"));
    EXPECT_TRUE(l.f.visible());
    EXPECT_FALSE(l.f.ended());
}
