// A person opens the About window and asks for the system information.
#include <QtTest>

#include <string>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

TEST(About, SystemInfoTellsTheUserAndTheProgramFolder) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    std::shared_ptr<ProgramOnDesktop::Boxes> boxes;
    bool aboutShown = false;
    // The About window holds the main window's loop until it closes.
    ProgramOnDesktop::whenShown([&]() -> QWidget* { return p.windowShown("frmAbout") ? p.window("frmAbout") : nullptr; },
                                [&](QWidget*) {
                                    aboutShown = true;
                                    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
                                    p.click("lblSysInfo", "frmAbout");
                                    boxes->stop();
                                    p.click("lblOk", "frmAbout");
                                });
    p.click("lblShowAbout");
    ASSERT_TRUE(aboutShown) << "no About window";
    ASSERT_TRUE(boxes);
    ASSERT_EQ(boxes->size(), 1u) << "System Info... showed nothing";
    EXPECT_EQ(boxes->seen[0].title, "System Information");
    const std::string& text = boxes->text(0);
    EXPECT_NE(text.find("User: "), std::string::npos) << text;
    EXPECT_NE(text.find("Program folder: " + p.programFolder()), std::string::npos) << text;
    EXPECT_FALSE(p.windowShown("frmAbout"));
    EXPECT_TRUE(p.windowShown("FrmMain"));
    EXPECT_EQ(p.errorLog(), "");
}
