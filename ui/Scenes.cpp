#include "ui/Scenes.h"

#include <functional>

#include "app/frmSplash.h"
#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/sim/SimEventLoop.h"
#include "schedule/frmTimeSetup.h"
#include "schedule/frmWindowSetup.h"
#include "shell/FrmMain.h"
#include "shell/frmAbout.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"

namespace nocturo::ui {

namespace {

// The window is closed however the scene ends, before its form goes.
class Opened {
public:
    Opened(SceneStage& stage, Form& form, SceneWindow kind) : stage_(stage) { stage_.open(form, kind); }
    ~Opened() { stage_.close(); }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;

private:
    SceneStage& stage_;
};

void look(SceneStage& stage, Form& form, SceneWindow kind) {
    Opened window(stage, form, kind);
    stage.settle();
    stage.look();
}

// A dialog loaded as the program loads it, looked at, and unloaded.
template <class Dialog>
bool loaded(SceneStage& stage, SceneWindow kind) {
    Dialog d;
    d.Form_Load();
    look(stage, d, kind);
    d.Form_Unload();
    return true;
}

bool mainWindow(const std::string& state, SceneStage& stage) {
    FrmMain f;
    f.Form_Load();
    bool seen = false;
    {
        Opened window(stage, f, SceneWindow::Main);
        if (state == "options") {
            f.cmdOptions.setCaption("Save &Options");
            f.setHeight(twips::OptionsHeight);
            f.setWidth(twips::OptionsWidth);
        } else if (state == "small-clock") {
            f.Form_Click();
        } else if (state == "countdown") {
            auto* sim = dynamic_cast<platform::SimEventLoop*>(rt().pf.loop);
            if (!sim) return false;
            // 3.5 seconds into the countdown: look, then cancel it.
            sim->after(3500, "look at the countdown", [&] {
                stage.settle();
                stage.look();
                seen = true;
                f.cmdGo_Click();
            });
            f.cmdGo_Click();
            // The countdown is a task on the loop: let the loop run it.
            for (int i = 0; i < 100 && !seen; ++i) sim->runFor(100);
        } else if (state == "postponed") {
            auto* sim = dynamic_cast<platform::SimEventLoop*>(rt().pf.loop);
            if (!sim) return false;
            // A run postponed by an hour: the information line says until
            // when, under the postpone buttons. Look, then cancel it.
            sim->after(1500, "postpone", [&] {
                std::string why;
                f.Postpone(3600, why);
            });
            sim->after(2500, "look at the postponed run", [&] {
                stage.settle();
                stage.look();
                seen = true;
                f.cmdGo_Click();
            });
            f.cmdGo_Click();
            for (int i = 0; i < 100 && !seen; ++i) sim->runFor(100);
        } else if (state != "normal") {
            return false;
        }
        if (state != "countdown" && state != "postponed") {
            stage.settle();
            stage.look();
            seen = true;
        }
    }
    // The countdown's run ended on the loop; the program unloads after it.
    if (state == "countdown" || state == "postponed") f.Form_Unload();
    return seen;
}

bool cleaningRun(SceneStage& stage) {
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
    look(stage, run, SceneWindow::Plain);
    return true;
}

// The lock just after a wrong password, its options password set for the
// scene and put back after it.
bool lockWindow(SceneStage& stage) {
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
            look(stage, lock, SceneWindow::Lock);
            lock.Form_Unload();
            shown = true;
        }
    }
    WriteSetting(MachineApp(), kSettings, "poption", before);
    return shown;
}

}  // namespace

std::vector<std::string> SceneNames() {
    return {"main-normal",  "main-options",  "main-small-clock", "main-countdown", "main-postponed", "weekday-dialog",
            "time-window-dialog", "cleaner-setup", "cleaning-run", "about", "splash",
            "lock",         "lock-screen-saver"};
}

bool PlayScene(const std::string& name, SceneStage& stage) {
    if (name.rfind("main-", 0) == 0) return mainWindow(name.substr(5), stage);
    if (name == "weekday-dialog") return loaded<frmTimeSetup>(stage, SceneWindow::Frameless);
    if (name == "time-window-dialog") return loaded<frmWindowSetup>(stage, SceneWindow::Frameless);
    if (name == "cleaner-setup") return loaded<frmCleanHDSetup>(stage, SceneWindow::Plain);
    if (name == "cleaning-run") return cleaningRun(stage);
    if (name == "about") {
        frmAbout about;
        about.Form_Load();
        look(stage, about, SceneWindow::Plain);
        return true;
    }
    if (name == "splash") {
        frmSplash splash;
        splash.Form_Load();
        splash.ProgressBar1.setValue(60);
        look(stage, splash, SceneWindow::Frameless);
        return true;
    }
    if (name == "lock") return lockWindow(stage);
    if (name == "lock-screen-saver") {
        frmLockPcScr saver;
        saver.Form_Load();
        look(stage, saver, SceneWindow::LockScreenSaver);
        saver.Form_Unload();
        return true;
    }
    return false;
}

}  // namespace nocturo::ui
