// A person guards the options with a password: types it twice, is told
// when the two differ, is kept out by a wrong one, let in by the right one,
// and removes it again.
#include <QtTest>

#include <string>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

namespace {

const QString kOk = QStringLiteral("OK");

// Types a new password into the panel's field and saves the options,
// answering the boxes that come with replies; what they said.
std::shared_ptr<ProgramOnDesktop::Boxes> savePassword(ProgramOnDesktop& p, const std::string& password,
                                                      std::vector<ProgramOnDesktop::BoxReply> replies) {
    if (password.empty()) {
        p.click("txtOptionsMenuPW");
        QTest::keyClick(p.widget("txtOptionsMenuPW"), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(p.widget("txtOptionsMenuPW"), Qt::Key_Delete);
    } else {
        p.type("txtOptionsMenuPW", password);
    }
    auto boxes = ProgramOnDesktop::answerBoxes(std::move(replies));
    p.click("cmdOptions");
    boxes->stop();
    EXPECT_EQ(p.caption("cmdOptions"), "&Options");
    return boxes;
}

}  // namespace

TEST(OptionsPassword, SetTwiceItKeepsAWrongOneOutLetsTheRightOneInAndCanBeRemoved) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();  // no password yet: no box

    auto boxes = savePassword(p, "night0wl", {{kOk, std::string("night0wl")}, {kOk}});
    ASSERT_EQ(boxes->size(), 2u);
    EXPECT_EQ(boxes->text(0), "Type the new options password again:");
    EXPECT_EQ(boxes->text(1), "The new options password is saved.");
    const std::string stored = p.setting("poption");
    EXPECT_NE(stored, "");
    EXPECT_EQ(stored.find("night0wl"), std::string::npos) << "the password is stored as typed";

    // A wrong password is told, and the options stay closed.
    boxes = ProgramOnDesktop::answerBoxes({{kOk, std::string("nightowl")}, {kOk}});
    p.click("cmdOptions");
    boxes->stop();
    ASSERT_EQ(boxes->size(), 2u);
    EXPECT_EQ(boxes->text(0), "Options Menu Password :");
    EXPECT_EQ(boxes->text(1), "Wrong password. The options stay closed.");
    EXPECT_EQ(p.caption("cmdOptions"), "&Options");

    // A cancelled password box keeps them closed without a word.
    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("Cancel")}}, 3000);
    p.click("cmdOptions");
    boxes->stop();
    EXPECT_EQ(boxes->size(), 1u);
    EXPECT_EQ(p.caption("cmdOptions"), "&Options");

    p.openOptions(std::string("night0wl"));
    boxes = savePassword(p, "", {{kOk}});
    ASSERT_EQ(boxes->size(), 1u);
    EXPECT_EQ(boxes->text(0), "The options password is removed: the options open without one.");
    p.openOptions();  // no box again
    EXPECT_EQ(p.caption("txtOptionsMenuPW"), "");
    p.click("cmdOptions");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(OptionsPassword, TwoDifferentEntriesLeaveThePasswordAsItWas) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    auto boxes = savePassword(p, "first", {{kOk, std::string("frist")}, {kOk}});
    ASSERT_EQ(boxes->size(), 2u);
    EXPECT_EQ(boxes->text(0), "Type the new options password again:");
    EXPECT_EQ(boxes->text(1), "The two passwords differ. The options password was not changed.");
    EXPECT_EQ(p.setting("poption"), "");

    // Still none: the options open at once, the field empty as before.
    p.openOptions();
    EXPECT_EQ(p.caption("txtOptionsMenuPW"), "");

    // The second box cancelled: nothing changes either.
    boxes = savePassword(p, "first", {{QStringLiteral("Cancel")}, {kOk}});
    ASSERT_EQ(boxes->size(), 2u);
    EXPECT_EQ(boxes->text(1), "The options password was not changed.");
    p.openOptions();
    EXPECT_EQ(p.caption("txtOptionsMenuPW"), "");
    p.click("cmdOptions");
    EXPECT_EQ(p.errorLog(), "");
}
