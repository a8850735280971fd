// The main window and the notification area: the tray window with its menu
// of actions, sending the window there and bringing it back.
#include "base/Links.h"
#include "base/Runtime.h"
#include "platform/IDialogs.h"
#include "platform/IProcesses.h"
#include "platform/ISessionPower.h"
#include "platform/ITray.h"
#include "shell/FrmMainParts.h"
#include "shell/frmSysTray.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

using namespace frmmain;

void FrmMain::Make_Popup_Menu() {
    const std::string p = proc("Make_Popup_Menu");
    step(p, 1, [&] { m_frmSysTray.reset(); });
    step(p, 2, [&] {
        auto window = std::make_unique<frmSysTray>();
        window->MenuClick = [this](std::int16_t index, const std::string& key) { m_frmSysTray_MenuClick(index, key); };
        window->SysTrayDoubleClick = [this](int button) { m_frmSysTray_SysTrayDoubleClick(button); };
        window->SysTrayMouseDown = [this](int button) { m_frmSysTray_SysTrayMouseDown(button); };
        window->SysTraySelect = [this] { m_frmSysTray_SysTraySelect(); };
        m_frmSysTray = std::move(window);
    });
    if (!m_frmSysTray) return;
    frmSysTray& menu = *m_frmSysTray;
    step(p, 3, [&] {
        menu.AddMenuItem("&Show Nocturo", "open");
        menu.AddMenuItem("&Home Position", "home");
        menu.AddMenuItem("-");
        menu.AddMenuItem("Lock &PC", "LockPC");
        menu.AddMenuItem("-");
        menu.AddMenuItem("Shut&Down", "Nocturo");
        menu.AddMenuItem("&PowerOff", "PowerOff", true);
    });
    step(p, 4, [&] {
        // Standby and hibernation need a system that has them.
        const int code = rt().winVersionCode;
        if (code >= 12 && code != 20 && code != 21) {
            menu.AddMenuItem("Suspend/Standby", "Suspend");
            menu.AddMenuItem("Hibernate", "Hibernate");
        }
    });
    step(p, 5, [&] {
        menu.AddMenuItem("&LogOff", "LogOff");
        menu.AddMenuItem("&Restart", "Restart");
        menu.AddMenuItem("-");
        // The schedule: armed, it acts when due; disarmed, it waits.
        if (scheduleArmed_) menu.AddMenuItem("Disarm s&chedule", "disarm");
        else menu.AddMenuItem("Arm s&chedule", "arm");
        menu.AddMenuItem("-");
        if (!links::Current().homePage.empty()) menu.AddMenuItem("Varn on the &Web", "varn");
        menu.AddMenuItem("&About...", "About");
    });
    // "Postpone 10 minutes" and "Cancel" while a countdown or a final count runs.
    stateMayHaveChanged();
}

void FrmMain::Send_to_SysTray() {
    const std::string p = proc("Send_to_SysTray");
    step(p, 1, [&] { Make_Popup_Menu(); });
    bool hasTray = false;
    step(p, 2, [&] { hasTray = rt().pf.tray && tray().available(); });
    if (hasTray && m_frmSysTray) {
        step(p, 3, [&] {
            setVisible(false);
            inTray = true;
        });
        step(p, 4, [&] { m_frmSysTray->Add_Icon_To_Tray(); });
        step(p, 5, [&] { m_frmSysTray->IconHandle(ImgStop.picture()); });
        step(p, 6, [&] {
            m_frmSysTray->ToolTip(scheduleArmed_ ? "DoubleClick to Shutdown" : "Not armed. DoubleClick to Shutdown");
        });
        // An icon the desktop refused would leave the window out of reach.
        if (m_frmSysTray && m_frmSysTray->iconShown()) return;
    }
    step(p, 7, [&] {
        // Without a tray the window is minimised, never hidden out of reach.
        inTray = false;
        setVisible(true);
        setWindowState(WindowState::Minimized);
    });
}

void FrmMain::RestoreFromTray() {
    step(proc("RestoreFromTray"), 1, [&] {
        if (m_frmSysTray && !m_frmSysTray->visible()) m_frmSysTray->Unload();
        m_frmSysTray.reset();
        inTray = false;
        setVisible(true);
        if (windowState() == WindowState::Minimized) setWindowState(WindowState::Normal);
        setForeground(true);
    });
}

void FrmMain::imgSysTray_Click() {
    const std::string p = proc("imgSysTray_Click");
    step(p, 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("close", true);
    });
    step(p, 2, [&] { Send_to_SysTray(); });
}

void FrmMain::m_frmSysTray_MenuClick(std::int16_t, const std::string& key) {
    // The icon stays until the very end; once the program is ending it does nothing.
    if (life_ != Life::Running) return;
    const std::string p = proc("m_frmSysTray_MenuClick");
    // Standby and hibernation go straight to the system: no question, no
    // log entry, no cleaning.
    if (key == "About") {
        step(p, 1, [&] {
            if (showAbout) showAbout();
        });
    } else if (key == "Suspend") {
        step(p, 2, [&] { power().setSuspendState(false, chkForce.checked(), false); });
    } else if (key == "Hibernate") {
        step(p, 3, [&] { power().setSuspendState(true, chkForce.checked(), false); });
    } else if (key == "LockPC") {
        step(p, 4, [&] { lockComputer(); });
    } else if (key == "Nocturo" || key == "PowerOff" || key == "LogOff") {
        step(p, 5, [&] { ShutDown_Action(key); });
    } else if (key == "Restart") {
        step(p, 6, [&] { ShutDown_Action("Reboot"); });
    } else if (key == "open") {
        step(p, 7, [&] { RestoreFromTray(); });
    } else if (key == "varn") {
        step(p, 8, [&] { links::OpenLinkIfAny(links::Current().homePage); });
    } else if (key == "arm" || key == "disarm") {
        step(p, 11, [&] { setScheduleArmed(key == "arm"); });
    } else if (key == "postpone" || key == "cancel") {
        // Refused (nothing counts any more, "Disable Cancel button"): said
        // in a box, as the window would.
        std::string why;
        step(p, 12, [&] {
            const bool done = key == "postpone" ? Postpone(600, why) : CancelRunning(why);
            if (!done) MsgBox(why, platform::mb::OkOnly | platform::mb::Exclamation, rt().appName);
        });
    } else if (key == "home") {
        step(p, 9, [&] { RestoreFromTray(); });
        step(p, 10, [&] { Form_Click(); });
    }
    stateMayHaveChanged();
}

void FrmMain::m_frmSysTray_SysTrayDoubleClick(int button) {
    const std::string p = proc("m_frmSysTray_SysTrayDoubleClick");
    if (button != mouse::Left || life_ != Life::Running) return;
    step(p, 1, [&] { RestoreFromTray(); });
    step(p, 2, [&] { ShutDown_Action(""); });
}

// A desktop without a double click on the icon: its click brings the window
// back, and only the window's own buttons start an action.
void FrmMain::m_frmSysTray_SysTraySelect() {
    if (life_ != Life::Running) return;
    step(proc("m_frmSysTray_SysTraySelect"), 1, [&] { RestoreFromTray(); });
}

void FrmMain::m_frmSysTray_SysTrayMouseDown(int button) {
    if (life_ != Life::Running) return;
    step(proc("m_frmSysTray_SysTrayMouseDown"), 1, [&] {
        if (button == mouse::Right && m_frmSysTray) m_frmSysTray->ShowMenu();
    });
}

}  // namespace nocturo
