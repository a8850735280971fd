#include "ui/Gallery.h"

#include <QApplication>

#include "base/Runtime.h"
#include "app/frmSplash.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/sim/SimEventLoop.h"
#include "schedule/frmTimeSetup.h"
#include "schedule/frmWindowSetup.h"
#include "shell/FrmMain.h"
#include "shell/frmAbout.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "ui/FormView.h"
#include "ui/FrmMainView.h"
#include "ui/LockPcView.h"

namespace nocturo::ui {

namespace {

void settle() { QApplication::processEvents(); }

template <class View, class Model>
void look(Model& form, const std::function<void(FormView&)>& see) {
    View view(form);
    view.show();
    settle();
    see(view);
}


// A dialog loaded as the program loads it, looked at, and unloaded.
template <class Dialog, class View>
bool loaded(const std::function<void(FormView&)>& see) {
    Dialog d;
    d.Form_Load();
    look<View>(d, see);
    d.Form_Unload();
    return true;
}

bool mainWindow(const std::string& state, const std::function<void(FormView&)>& see) {
    FrmMain f;
    f.Form_Load();
    FrmMainView view(f);
    view.show();
    if (state == "options") {
        f.cmdOptions.setCaption("Save &Options");
        f.setHeight(twips::OptionsHeight);
        f.setWidth(twips::OptionsWidth);
    } else if (state == "small-clock") {
        f.Form_Click();
    } else if (state == "countdown") {
        auto* sim = dynamic_cast<platform::SimEventLoop*>(rt().pf.loop);
        if (!sim) return false;
        bool seen = false;
        // 3.5 seconds into the countdown: look, then cancel it.
        sim->after(3500, "look at the countdown", [&] {
            settle();
            see(view);
            seen = true;
            f.cmdGo_Click();
        });
        f.cmdGo_Click();
        // The countdown is a task on the loop: let the loop run it.
        for (int i = 0; i < 100 && !seen; ++i) sim->runFor(100);
        f.Form_Unload();
        return seen;
    }
    settle();
    see(view);
    return true;
}

void cleaningRun(const std::function<void(FormView&)>& see) {
    frmCleanNow run;
    // Half-way through: three steps done, the search running.
    for (int i = 0; i < 3; ++i) run.shpSteps[static_cast<size_t>(i)]->setFillColor(frmCleanNow::kGreen);
    run.lblSteps[3]->setBold(true);
    run.TxtPaths.setText("/home/user/tmp/|/var/tmp/");
    run.lblActualFileFilter.setCaption("*.tmp|*.bak|*.old");
    run.lblActualStartDir.setCaption("/home/user/tmp/");
    run.lblActualSearchPath.setCaption("/home/user/tmp/build/cache/");
    for (const char* file : {"/home/user/tmp/report.bak", "/home/user/tmp/~draft.tmp", "/home/user/tmp/build/a.old"})
        run.ListView1.addItem(file);
    run.LblStatus.setCaption("Total: 3 Results");
    run.setVisible(true);
    look<FormView>(run, see);
}

// The lock just after a wrong password, its options password set for the
// scene and put back after it.
bool lockWindow(const std::function<void(FormView&)>& see) {
    const std::string before = CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string()));
    WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("gallery", ""));
    bool shown = false;
    {
        frmLockPc lock;
        lock.Form_Load();
        if (!lock.ended()) {
            lock.txtPassword.setText("wrong");
            lock.cmdUnlock_Click();
            lock.txtPassword.setText("pass");
            look<LockPcView>(lock, see);
            lock.Form_Unload();
            shown = true;
        }
    }
    WriteSetting(MachineApp(), kSettings, "poption", before);
    return shown;
}

}  // namespace

std::vector<std::string> GalleryScenes() {
    return {"main-normal",  "main-options",  "main-small-clock", "main-countdown", "weekday-dialog",
            "time-window-dialog", "cleaner-setup", "cleaning-run", "about", "splash",
            "lock",         "lock-screen-saver"};
}

bool ShowScene(const std::string& name, const std::function<void(FormView&)>& see) {
    if (name.rfind("main-", 0) == 0) return mainWindow(name.substr(5), see);
    if (name == "weekday-dialog") return loaded<frmTimeSetup, FramelessView>(see);
    if (name == "time-window-dialog") return loaded<frmWindowSetup, FramelessView>(see);
    if (name == "cleaner-setup") return loaded<frmCleanHDSetup, FormView>(see);
    if (name == "cleaning-run") {
        cleaningRun(see);
        return true;
    }
    if (name == "about") {
        frmAbout about;
        about.Form_Load();
        look<FormView>(about, see);
        return true;
    }
    if (name == "splash") {
        frmSplash splash;
        splash.Form_Load();
        splash.ProgressBar1.setValue(60);
        look<FramelessView>(splash, see);
        return true;
    }
    if (name == "lock") return lockWindow(see);
    if (name == "lock-screen-saver") {
        frmLockPcScr saver;
        saver.Form_Load();
        look<LockPcScrView>(saver, see);
        saver.Form_Unload();
        return true;
    }
    return false;
}

}  // namespace nocturo::ui
