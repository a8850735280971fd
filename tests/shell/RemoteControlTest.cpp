// The control channel's requests on the main window: what each does through
// the window's handlers, and what the window would refuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "shell/RemoteControl.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using platform::ControlOp;
using platform::ControlReply;
using platform::ControlRequest;
using platform::ControlStatus;

namespace {

struct Remote {
    SimWorld w;
    FrmMain f;
    RemoteControl rc{f};
    explicit Remote(const std::string& password = "") {
        if (!password.empty()) WriteSetting(MachineApp(), kSettings, "poption", Encrypt3(password, ""));
        f.Form_Load();
    }
    ControlReply ask(ControlOp op, std::string action = "", std::string at = "", long long seconds = -1,
                     std::string password = "") {
        ControlRequest r;
        r.op = op;
        r.action = std::move(action);
        r.at = std::move(at);
        r.seconds = seconds;
        r.password = std::move(password);
        return rc.handle(r);
    }
    std::string time() { return f.txtHour.text() + ":" + f.txtMinute.text() + ":" + f.txtSEC.text(); }
};

}  // namespace

TEST(RemoteControl, StatusReportsTheWindowAsItIs) {
    Remote t;
    const ControlReply r = t.ask(ControlOp::Status);
    EXPECT_EQ(r.status, ControlStatus::Ok);
    EXPECT_FALSE(r.state.armed);  // a fresh store
    EXPECT_EQ(r.state.mode, "time");
    EXPECT_EQ(r.state.action, "Nocturo");
    EXPECT_EQ(r.state.due, "");
    EXPECT_EQ(r.state.secondsLeft, -1);
    EXPECT_EQ(r.state.phase, "");
    EXPECT_EQ(r.state.running, "");
    EXPECT_EQ(r.state.clock, "2026-12-08T20:59:50");
    EXPECT_FALSE(r.state.passwordSet);
    EXPECT_FALSE(r.state.cancelDisabled);
}

TEST(RemoteControl, ArmAtATimeOfDayChoosesTheActionTheModeAndTheFields) {
    Remote t;
    const ControlReply r = t.ask(ControlOp::Arm, "reboot", "7:30");
    ASSERT_EQ(r.status, ControlStatus::Ok) << r.message;
    EXPECT_TRUE(r.state.armed);
    EXPECT_EQ(r.state.mode, "time");
    EXPECT_EQ(r.state.action, "Reboot");
    EXPECT_EQ(r.state.due, "2026-12-09T07:30:00");
    EXPECT_EQ(t.time(), "07:30:00");
    EXPECT_TRUE(t.f.optActions[1]->value());
    EXPECT_EQ(t.f.cmdGo.caption(), "Reboot now!");
    EXPECT_EQ(t.f.lblAction.caption(), "Reboot");

    // The window's names and the command line's both name actions.
    EXPECT_EQ(t.ask(ControlOp::Arm, "PowerOff", "21:00:05").state.action, "Nocturo");
    EXPECT_TRUE(t.f.chkPowerOff.checked());
    EXPECT_EQ(t.ask(ControlOp::Arm, "shutdown").state.action, "Nocturo");
    EXPECT_FALSE(t.f.chkPowerOff.checked());
    EXPECT_EQ(t.time(), "21:00:05");
    EXPECT_EQ(t.ask(ControlOp::Arm, "lock").state.action, "LockPC");
}

TEST(RemoteControl, ArmInADurationLoadsTheCountInItsLargestWholeUnit) {
    Remote t;
    ControlReply r = t.ask(ControlOp::Arm, "alarm", "", 1800);
    ASSERT_EQ(r.status, ControlStatus::Ok) << r.message;
    EXPECT_EQ(r.state.mode, "countdown");
    EXPECT_EQ(r.state.action, "Alarm");
    EXPECT_EQ(r.state.secondsLeft, 1800);
    EXPECT_EQ(t.f.txtStartActionIn.text(), "30");
    EXPECT_EQ(t.f.cmbTimeUnit.text(), "minutes");
    EXPECT_TRUE(t.f.cmdPostpone5.visible());

    r = t.ask(ControlOp::Arm, "", "", 90);
    EXPECT_EQ(r.state.secondsLeft, 90);
    EXPECT_EQ(t.f.cmbTimeUnit.text(), "seconds");
    r = t.ask(ControlOp::Arm, "", "", 7200);
    EXPECT_EQ(t.f.txtStartActionIn.text(), "2");
    EXPECT_EQ(t.f.cmbTimeUnit.text(), "hours");
    // The count then runs down and acts.
    t.ask(ControlOp::Arm, "alarm", "", 3);
    t.f.txtCounter.setText("0");
    t.w.loop.runFor(5000);
    const auto log = t.w.actionLogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Alarm"), 1);
}

TEST(RemoteControl, BadInputIsABadRequestAndChangesNothing) {
    Remote t;
    struct Case {
        ControlOp op;
        const char* action;
        const char* at;
        long long seconds;
        const char* says;
    };
    const Case cases[] = {
        {ControlOp::Arm, "explode", "", -1, "Unknown action 'explode'"},
        {ControlOp::Arm, "default", "", -1, "Unknown action"},
        {ControlOp::Arm, "", "25:00", -1, "Malformed time '25:00'"},
        {ControlOp::Arm, "", "12:60", -1, "Malformed time"},
        {ControlOp::Arm, "", "12:5", -1, "Malformed time"},
        {ControlOp::Arm, "", "123:00", -1, "Malformed time"},
        {ControlOp::Arm, "", "12:00:", -1, "Malformed time"},
        {ControlOp::Arm, "", "12:00:00:00", -1, "Malformed time"},
        {ControlOp::Arm, "", "noon", -1, "Malformed time"},
        {ControlOp::Arm, "", "12:00", 60, "not both"},
        {ControlOp::Arm, "", "", 0, "at least one second"},
        {ControlOp::Arm, "", "", -2, "at least one second"},
        {ControlOp::Arm, "", "", 4000000000LL, "too long"},
        {ControlOp::Postpone, "", "", 0, "at least one second"},
        {ControlOp::Postpone, "", "", -1, "at least one second"},
        {ControlOp::Now, "everything", "", -1, "Unknown action 'everything'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const ControlReply r = t.ask(c.op, c.action, c.at, c.seconds);
        EXPECT_EQ(r.status, ControlStatus::BadRequest);
        EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
        EXPECT_FALSE(r.state.armed);
        EXPECT_EQ(t.time(), "00:00:00");
    }
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
}

TEST(RemoteControl, TheOptionsPasswordGuardsArmingWithATimeOrActionAndDisarming) {
    Remote t("s3cret");
    EXPECT_TRUE(t.ask(ControlOp::Status).state.passwordSet);
    for (const char* wrong : {"", "S3cret", "s3cret "}) {
        SCOPED_TRACE(wrong);
        ControlReply r = t.ask(ControlOp::Arm, "reboot", "22:30", -1, wrong);
        EXPECT_EQ(r.status, ControlStatus::Refused);
        EXPECT_EQ(r.message, "Wrong password. The options stay closed.");
        r = t.ask(ControlOp::Arm, "", "", 600, wrong);
        EXPECT_EQ(r.status, ControlStatus::Refused);
    }
    EXPECT_FALSE(t.f.scheduleArmed());
    EXPECT_EQ(t.time(), "00:00:00");
    EXPECT_TRUE(t.f.optActions[0]->value());

    // The schedule as set, like the tray menu's item: no password.
    EXPECT_EQ(t.ask(ControlOp::Arm).status, ControlStatus::Ok);
    EXPECT_TRUE(t.f.scheduleArmed());
    EXPECT_EQ(t.ask(ControlOp::Disarm, "", "", -1, "nope").status, ControlStatus::Refused);
    EXPECT_TRUE(t.f.scheduleArmed());

    ControlReply r = t.ask(ControlOp::Arm, "reboot", "22:30", -1, "s3cret");
    EXPECT_EQ(r.status, ControlStatus::Ok) << r.message;
    EXPECT_EQ(t.time(), "22:30:00");
    r = t.ask(ControlOp::Disarm, "", "", -1, "s3cret");
    EXPECT_EQ(r.status, ControlStatus::Ok);
    EXPECT_FALSE(r.state.armed);
    EXPECT_EQ(t.w.actionLogLines().back(), "Schedule disarmed");
}

TEST(RemoteControl, CancelIsRefusedWithDisableCancelAndStopsARunOtherwise) {
    Remote t;
    EXPECT_EQ(t.ask(ControlOp::Cancel).status, ControlStatus::Refused);
    t.f.txtCounter.setText("5");
    t.f.chkDisableCancel.setValue(1);
    ControlReply r = t.ask(ControlOp::Now);  // the chosen action, with its count
    ASSERT_EQ(r.status, ControlStatus::Ok);
    EXPECT_EQ(r.state.phase, "final-count");
    EXPECT_TRUE(r.state.cancelDisabled);
    t.w.loop.runFor(1500);
    r = t.ask(ControlOp::Cancel);
    EXPECT_EQ(r.status, ControlStatus::Refused);
    EXPECT_NE(r.message.find("Disable Cancel button"), std::string::npos);
    EXPECT_EQ(r.state.phase, "final-count");
    // A second Now would be the window's cancel: refused.
    EXPECT_EQ(t.ask(ControlOp::Now, "reboot").status, ControlStatus::Refused);
    EXPECT_TRUE(t.f.actionRunning());

    t.f.chkDisableCancel.setValue(0);
    r = t.ask(ControlOp::Cancel);
    EXPECT_EQ(r.status, ControlStatus::Ok) << r.message;
    EXPECT_EQ(r.state.phase, "");
    EXPECT_EQ(r.state.running, "");
    t.w.loop.runFor(10000);
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(t.w.actionLogLines().back(), "action canceled");
}

TEST(RemoteControl, NowRunsANamedActionAndPostponeMovesIt) {
    Remote t;
    t.f.chkStartProgram.setValue(0);
    ControlReply r = t.ask(ControlOp::Now, "alarm");
    ASSERT_EQ(r.status, ControlStatus::Ok);
    EXPECT_EQ(r.state.running, "Alarm");
    EXPECT_EQ(r.state.phase, "final-count");
    r = t.ask(ControlOp::Postpone, "", "", 120);
    EXPECT_EQ(r.status, ControlStatus::Ok) << r.message;
    EXPECT_EQ(r.state.phase, "waiting");
    EXPECT_EQ(r.state.secondsLeft, 120);
    EXPECT_EQ(r.state.due, "2026-12-08T21:01:50");
}

TEST(RemoteControl, RaiseBringsTheWindowBackFromTheTray) {
    Remote t;
    t.f.imgSysTray_Click();
    ASSERT_TRUE(t.f.inTray);
    EXPECT_EQ(t.ask(ControlOp::Raise).status, ControlStatus::Ok);
    EXPECT_FALSE(t.f.inTray);
    EXPECT_TRUE(t.f.visible());
}

TEST(RemoteControl, ActionNamesAndTimesOfDay) {
    std::string action = "x";
    EXPECT_TRUE(RemoteControl::ActionByName("REBOOT", action));
    EXPECT_EQ(action, "Reboot");
    EXPECT_TRUE(RemoteControl::ActionByName("program", action));
    EXPECT_EQ(action, "StartProgram");
    EXPECT_TRUE(RemoteControl::ActionByName("", action));
    EXPECT_EQ(action, "");
    EXPECT_FALSE(RemoteControl::ActionByName("reboot now", action));
    std::string h, m, s;
    EXPECT_TRUE(RemoteControl::ParseTimeOfDay("0:00", h, m, s));
    EXPECT_EQ(h + m + s, "000000");
    EXPECT_TRUE(RemoteControl::ParseTimeOfDay("23:59:59", h, m, s));
    EXPECT_FALSE(RemoteControl::ParseTimeOfDay("24:00", h, m, s));
    EXPECT_FALSE(RemoteControl::ParseTimeOfDay(":30", h, m, s));
    EXPECT_FALSE(RemoteControl::ParseTimeOfDay("-1:30", h, m, s));
}
