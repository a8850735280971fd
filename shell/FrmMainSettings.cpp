// The main window's settings: Load_Registry reads every control's stored
// value at start, Save_Registry writes them all back.
#include <cmath>
#include <limits>

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "platform/Error.h"
#include "shell/FrmMainParts.h"

namespace nocturo {

using namespace frmmain;

void FrmMain::Load_Registry() {
    const std::string p = "Load_Registry of Formular fMainForm";
    const std::string u = UserApp();
    auto text = [&](const char* name, const std::string& def) { return CStr(ReadSetting(u, kSettings, name, def)); };
    // A check box is 0 or 1; the cleaning option's own handler stores a
    // ticked box as -1, which reads as ticked.
    auto check = [&](const char* name, int def) { return CInt(ReadSetting(u, kSettings, name, def)) == 0 ? 0 : 1; };
    auto index = [&](const char* name, int def) { return static_cast<int>(CInt(ReadSetting(u, kSettings, name, def))); };
    long line = 0;

    step(p, ++line, [&] {
        txtOptionsMenuPW.setText(Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), ""));
    });
    // A place or size that is no number of twips a window can have is a
    // failed step (logged), and the default stays.
    auto twipsOf = [&](const char* name, int def) {
        const double v = CDbl(ReadSetting(u, kSettings, name, def));
        if (!std::isfinite(v) || v < -1e7 || v > 1e7)
            throw platform::Error(platform::err::Overflow, "Overflow: " + std::string(name) + " " + std::to_string(v));
        return static_cast<int>(v);
    };
    step(p, ++line, [&] {
        setLeft(1000);
        setLeft(twipsOf("MainLeft", 1000));
    });
    step(p, ++line, [&] {
        setTop(1000);
        setTop(twipsOf("MainTop", 1000));
    });
    step(p, ++line, [&] {
        setHeight(1725);
        setHeight(twipsOf("MainHeight", 1725));
    });
    step(p, ++line, [&] {
        if (height() == twips::SmallClockHeight) {
            imgMinimize.setToolTip("enlarge Clock");
            lblTimeHeader.setVisible(true);
            lblShutdownTimeHeader.setVisible(true);
        } else {
            setHeight(twips::NormalHeight);
        }
    });
    step(p, ++line, [&] { setWidth(twips::NormalWidth); });

    struct TextRow { const char* name; TextBox* box; std::string def; };
    struct CheckRow { const char* name; CheckBox* box; int def; };
    step(p, ++line, [&] { txtLockTime.setText(text("txtLockTime", "600")); });
    step(p, ++line, [&] { chkSCR.setValue(check("chkSCR", 0)); });
    step(p, ++line, [&] { chkSound.setValue(check("chkSound", 1)); });
    step(p, ++line, [&] { txtHour.setText(text("txtHour", "00")); });
    step(p, ++line, [&] { txtMinute.setText(text("txtMinute", "00")); });
    step(p, ++line, [&] { txtSEC.setText(text("txtSEC", "00")); });
    step(p, ++line, [&] { txtPathLog.setText(text("txtPathLog", Layout().actionLogFolder)); });
    step(p, ++line, [&] {
        rebuildTargetTime();
    });
    for (const TextRow& row : {TextRow{"txtStartProgram", &txtStartProgram, ""},
                               TextRow{"txtProgramParameters", &txtProgramParameters, ""},
                               TextRow{"txtCounter", &txtCounter, "9"}})
        step(p, ++line, [&] { row.box->setText(text(row.name, row.def)); });
    for (const CheckRow& row : {CheckRow{"chkPowerOff", &chkPowerOff, 1}, CheckRow{"chkForce", &chkForce, 1},
                                // Off until the user ticks it: a program only tried
                                // out never enrols itself at login.
                                CheckRow{"chkStartWithWindow", &chkStartWithWindow, 0},
                                CheckRow{"chkTimeSync", &chkTimeSync, 0},
                                CheckRow{"chkStartInSysTray", &chkStartInSysTray, 0},
                                CheckRow{"chkWinOnTop", &chkWinOnTop, 0}, CheckRow{"chkStartProgram", &chkStartProgram, 0},
                                CheckRow{"chkCleanHD", &chkCleanHD, 0}, CheckRow{"chkPCLock", &chkPCLock, 0}})
        step(p, ++line, [&] { row.box->setValue(check(row.name, row.def)); });
    // A restored "Start with Windows" counts as a click: the entry is written
    // again (or removed while the service box is checked).
    step(p, line, [&] {
        if (rt().pf.service && chkStartWithWindow.checked()) chkStartWithWindow_Click();
    });
    // A restored lock time, screen saver or secured PC counts as a change: the
    // screen saver is set again, and the secured PC asks its question again.
    step(p, line, [&] {
        if (txtLockTime.text() != "600") txtLockTime_Change();
    });
    step(p, line, [&] {
        if (chkSCR.checked()) chkSCR_Click();
    });
    step(p, line, [&] {
        if (chkPCLock.checked()) chkPCLock_Click();
    });

    // Option buttons in index order: a true value clears its siblings, so
    // the highest stored true wins; all false leaves none chosen.
    for (int i = 0; i < 8; ++i)
        step(p, ++line, [&] {
            optActions[static_cast<size_t>(i)]->setValue(
                CBool(ReadSetting(u, kSettings, "optActions" + std::to_string(i), i == 0 ? -1 : 0)));
        });
    for (int i = 0; i < 4; ++i)
        step(p, ++line, [&] {
            optShutdownTime[static_cast<size_t>(i)]->setValue(
                CBool(ReadSetting(u, kSettings, "optShutdownTime" + std::to_string(i), i == 0 ? -1 : 0)));
        });
    // What choosing those options does: the action's captions and code, the
    // timer's pace for the schedule mode.
    step(p, ++line, [&] {
        int a = selectedAction();
        if (a >= 0) {
            applyActionRow(a, true);
            chkPowerOff.setEnabled(a == 0);
        }
        int m = selectedMode();
        if (m >= 0) Timer2.setInterval(kModeIntervals[m]);
    });

    step(p, ++line, [&] { Combo1.setListIndex(index("VoicePeriode", 0)); });
    step(p, ++line, [&] { chkVoice.setValue(check("chkVoice", 1)); });
    step(p, ++line, [&] { chkDT.setValue(check("chkDT", 1)); });
    step(p, ++line, [&] { chkDisableCancel.setValue(check("chkDisableCancel", 0)); });
    step(p, ++line, [&] { chkAllowRemoteControl.setValue(check("chkAllowRemoteControl", 0)); });
    step(p, ++line, [&] { cmbTimeUnit.setListIndex(index("cmbTimeUnit", 1)); });
    step(p, ++line, [&] { txtStartActionIn.setText(text("txtStartActionIn", "360")); });
    step(p, ++line, [&] {
        const std::int32_t value = CLng(Trim(txtStartActionIn.text()));
        armCountdown(value);
        // An overflow leaves the countdown at its value before the multiplication.
        const std::string unit = cmbTimeUnit.text();
        const long long factor = unit == "minutes" ? 60 : unit == "hours" ? 3600 : 1;
        const long long total = static_cast<long long>(value) * factor;
        if (total > std::numeric_limits<std::int32_t>::max() || total < std::numeric_limits<std::int32_t>::min())
            throw platform::Error(platform::err::Overflow, "Overflow");
        armCountdown(static_cast<std::int32_t>(total));
    });
    // Armed as stored; a store that does not say is armed when it holds a
    // schedule someone chose, and not armed when it is new.
    step(p, ++line, [&] {
        const Variant armed = ReadSetting(u, kSettings, "Armed", Variant());
        scheduleArmed_ = IsEmpty(armed) ? scheduleEverChosen() : CInt(armed) != 0;
        chkArmed.setValue(scheduleArmed_ ? 1 : 0);
    });
    // What the controls now hold is what the store holds for this run.
    step(p, ++line, [&] { rememberStored(settingsRecord()); });
}

std::vector<FrmMain::StoredSetting> FrmMain::settingsRecord() const {
    const std::string u = UserApp();
    const std::string m = MachineApp();
    std::vector<StoredSetting> r;
    auto add = [&](const std::string& app, const std::string& name, const Variant& value) {
        r.push_back({app, name, value});
    };
    // The password is compared as its text (its stored form is made anew on
    // every save).
    add(m, "poption", txtOptionsMenuPW.text());
    add(m, "chkNtService", chkNtService.value());
    add(u, "MainLeft", left());
    add(u, "MainTop", top());
    add(u, "MainHeight", height());
    add(u, "txtLockTime", txtLockTime.text());
    add(u, "chkSCR", chkSCR.value());
    add(u, "chkSound", soundHeld_ ? heldSound_ : chkSound.value());
    add(u, "txtHour", txtHour.text());
    add(u, "txtMinute", txtMinute.text());
    add(u, "txtSEC", txtSEC.text());
    add(u, "txtPathLog", txtPathLog.text());
    add(u, "txtStartProgram", txtStartProgram.text());
    add(u, "txtProgramParameters", txtProgramParameters.text());
    add(u, "txtCounter", txtCounter.text());
    add(u, "chkPowerOff", chkPowerOff.value());
    add(u, "chkForce", chkForce.value());
    add(u, "chkStartWithWindow", chkStartWithWindow.value());
    add(u, "chkTimeSync", chkTimeSync.value());
    add(u, "chkStartInSysTray", chkStartInSysTray.value());
    add(u, "chkWinOnTop", chkWinOnTop.value());
    add(u, "chkStartProgram", chkStartProgram.value());
    add(u, "chkCleanHD", chkCleanHD.value());
    add(u, "chkPCLock", chkPCLock.value());
    for (int i = 0; i < 8; ++i) add(u, "optActions" + std::to_string(i), optActions[static_cast<size_t>(i)]->value());
    for (int i = 0; i < 4; ++i)
        add(u, "optShutdownTime" + std::to_string(i), optShutdownTime[static_cast<size_t>(i)]->value());
    add(u, "VoicePeriode", Combo1.listIndex());
    add(u, "cmbTimeUnit", cmbTimeUnit.listIndex());
    add(u, "txtStartActionIn", txtStartActionIn.text());
    add(u, "chkVoice", soundHeld_ ? heldVoice_ : chkVoice.value());
    add(u, "chkDT", chkDT.value());
    add(u, "chkDisableCancel", chkDisableCancel.value());
    add(u, "chkAllowRemoteControl", chkAllowRemoteControl.value());
    add(u, "Armed", scheduleArmed_ ? 1 : 0);
    return r;
}

void FrmMain::Save_Registry() {
    const std::string p = "Save_Registry of Formular fMainForm";
    lastSave_ = {};
    std::vector<std::string> notStored;
    long line = 0;
    // The writes are stored together when the batch ends.
    {
        SettingsBatch batch(p, kProgramSource);
        auto write = [&](const std::string& app, const std::string& name, const Variant& value) {
            step(p, ++line, [&] {
                const SettingWrite w = WriteSetting(app, kSettings, name, value);
                if (w == SettingWrite::Stored) return;
                notStored.push_back(app + "\\" + name);
                // Refused for want of rights where the machine tree is the
                // system's (users have trees of their own there).
                if (w == SettingWrite::Refused && !EqualsNoCase(registry().userSettingsRoot(), "HKEY_LOCAL_MACHINE"))
                    lastSave_.refused.push_back(name);
                else
                    lastSave_.failed = true;
            });
        };
        // Only what changed in this run since it was read: a value that another
        // program (nocturoctl) stored meanwhile stays as that program left it.
        const auto record = settingsRecord();
        for (const StoredSetting& s : record) {
            const std::string key = s.app + "\\" + s.name;
            auto was = stored_.find(key);
            const bool same = was != stored_.end() && was->second.index() == s.value.index() &&
                              CStr(was->second) == CStr(s.value);
            if (same) {
                ++line;
                continue;
            }
            if (s.name == "poption") write(s.app, s.name, Encrypt3(CStr(s.value), ""));
            else write(s.app, s.name, s.value);
        }
        // A clean end: the crash marker goes, whatever else changed.
        write(UserApp(), "Crashtime", std::string());
        rememberStored(record);
    }
    // What was not stored is not what the store holds: the next save tries again.
    for (const std::string& key : notStored) stored_.erase(key);
}

void FrmMain::rememberStoredPassword(const std::string& text) { stored_[MachineApp() + "\\poption"] = text; }

void FrmMain::rememberStored(const std::vector<StoredSetting>& record) {
    stored_.clear();
    for (const StoredSetting& s : record) stored_[s.app + "\\" + s.name] = s.value;
}

}  // namespace nocturo
