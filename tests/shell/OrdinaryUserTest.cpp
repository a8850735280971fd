// The program run by a Windows user without administrator rights: the
// user's settings live below HKEY_CURRENT_USER, the machine tree below
// HKEY_LOCAL_MACHINE refuses every change, and nothing refused is reported
// as saved. The registry here records and refuses those changes as Windows
// does (wine does not enforce registry rights).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

struct OrdinaryUser {
    SimWorld w;
    FrmMain f;
    OrdinaryUser() {
        w.reg.actAsOrdinaryWindowsUser();
        f.Form_Load();
    }
    std::string userKey() const { return "HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\" + rt().userId + "\\Settings\\"; }
    std::string machineKey() const {
        return "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\" + rt().machineNumber + "\\Settings\\";
    }
    std::vector<std::string> prompts() const {
        std::vector<std::string> out;
        for (const auto& e : w.journal.entries())
            if (e.at("call").asString() == "MessageBox") out.push_back(e.at("prompt").asString());
        return out;
    }
    bool told(const std::string& part) const {
        const auto all = prompts();
        return std::any_of(all.begin(), all.end(), [&](const std::string& p) { return p.find(part) != std::string::npos; });
    }
};

TEST(OrdinaryWindowsUser, SaveOptionsStoresTheUserSettingsBelowTheCurrentUser) {
    OrdinaryUser t;
    t.f.cmdOptions_Click();
    t.f.txtCounter.setText("5");
    t.f.fireEvent("chkForce.Click");  // on by default: now off
    t.f.cmdOptions_Click();
    EXPECT_EQ(t.w.reg.read(t.userKey() + "txtCounter"), platform::RegValue{std::string("5")});
    EXPECT_EQ(t.w.reg.read(t.userKey() + "chkForce"), platform::RegValue{std::uint32_t{0}});
    EXPECT_TRUE(t.w.reg.refusedPaths.empty()) << t.w.reg.refusedPaths.front();
    EXPECT_TRUE(t.prompts().empty());
    EXPECT_EQ(t.w.errorLog(), "");

    // And read from there at the next start.
    FrmMain again;
    again.Form_Load();
    EXPECT_EQ(again.txtCounter.text(), "5");
    EXPECT_EQ(again.chkForce.value(), 0);
}

TEST(OrdinaryWindowsUser, ARefusedOptionsPasswordIsToldAndNeverReportedAsSaved) {
    OrdinaryUser t;
    t.f.cmdOptions_Click();
    t.f.txtOptionsMenuPW.setText("new pw");
    t.f.txtCounter.setText("7");
    t.w.dialogs.pushAnswer("new pw");  // typed again
    t.f.cmdOptions_Click();

    EXPECT_FALSE(t.told("The new options password is saved."));
    ASSERT_FALSE(t.prompts().empty());
    EXPECT_NE(t.prompts().back().find("Administrator rights are needed to change the options password"),
              std::string::npos)
        << t.prompts().back();
    ASSERT_FALSE(t.w.reg.refusedPaths.empty());
    EXPECT_EQ(t.w.reg.refusedPaths.front(), t.machineKey() + "poption");
    EXPECT_FALSE(t.w.reg.read(t.machineKey() + "poption").has_value());
    // The window shows the password the store holds: none.
    EXPECT_EQ(t.f.txtOptionsMenuPW.text(), "");
    // The user's own settings were saved all the same.
    EXPECT_EQ(t.w.reg.read(t.userKey() + "txtCounter"), platform::RegValue{std::string("7")});

    // The options still open without a password, and a later save does
    // not try the refused password again.
    const int inputs = t.w.count("InputBox");
    const size_t refused = t.w.reg.refusedPaths.size();
    t.f.cmdOptions_Click();
    EXPECT_EQ(t.w.count("InputBox"), inputs);
    t.f.cmdOptions_Click();
    EXPECT_EQ(t.w.reg.refusedPaths.size(), refused);
}

TEST(OrdinaryWindowsUser, AnAdministratorsPasswordStillGuardsTheOptions) {
    SimWorld w;
    WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("admin", ""));
    w.reg.actAsOrdinaryWindowsUser();
    FrmMain f;
    f.Form_Load();
    w.dialogs.pushAnswer("wrong");
    f.cmdOptions_Click();
    EXPECT_EQ(f.cmdOptions.caption(), "&Options");  // still closed
    EXPECT_TRUE(w.reg.refusedPaths.empty());
}

}  // namespace
