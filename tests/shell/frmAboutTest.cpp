// The about window's "System Info...".
#include <gtest/gtest.h>

#include "base/Runtime.h"
#include "shell/frmAbout.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

TEST(SystemInfo, ShowsWhatTheProgramKnowsWhereTheSystemHasNoInformationProgram) {
    for (platform::PathStyle style : {platform::PathStyle::Posix, platform::PathStyle::Windows}) {
        SimWorld w(style);
        rt().userId = "ALICE";
        frmAbout about;
        about.Form_Load();
        ASSERT_TRUE(about.fireEvent("lblSysInfo.Click"));
        ASSERT_EQ(w.count("MessageBox"), 1);
        const auto* box = w.last("MessageBox");
        EXPECT_EQ(box->at("title").asString(), "System Information");
        const std::string text = box->at("prompt").asString();
        EXPECT_NE(text.find("User: ALICE"), std::string::npos) << text;
        EXPECT_NE(text.find("Program folder: " + w.programFolder()), std::string::npos) << text;
        EXPECT_NE(text.find("Error log: "), std::string::npos) << text;
        EXPECT_EQ(text.find("Unavailable"), std::string::npos) << text;
        EXPECT_EQ(w.count("StartProgram"), 0);
        EXPECT_EQ(w.errorLog(), "");
    }
}
