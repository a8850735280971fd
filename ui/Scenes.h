#pragma once
// Every window of the program in each of its states, set up on the installed
// runtime (the simulated machine: the countdown scene needs its loop), for
// any toolkit's views: the Qt gallery and the native Windows screenshots put
// the same forms into the same states through a SceneStage of their own.
#include <string>
#include <vector>

namespace nocturo {
class Form;
}

namespace nocturo::ui {

// The kind of window a scene's form is shown in.
enum class SceneWindow {
    Plain,            // a normal frame
    Frameless,        // the weekday dialogs, the splash
    Main,             // the main window (an FrmMain)
    Lock,             // the secured PC's lock window (an frmLockPc)
    LockScreenSaver,  // its screen saver (an frmLockPcScr)
};

// What a toolkit does for a scene: one window at a time.
class SceneStage {
public:
    virtual ~SceneStage() = default;
    // Gives the form its window of that kind and shows it.
    virtual void open(Form& form, SceneWindow kind) = 0;
    // Lets the toolkit draw what changed.
    virtual void settle() = 0;
    // The scene is in its state: look at the open window.
    virtual void look() = 0;
    // The window goes, before its form does.
    virtual void close() = 0;
};

// "main-normal", "main-options", "main-small-clock", "main-countdown", "main-postponed",
// "weekday-dialog", "time-window-dialog", "cleaner-setup", "cleaning-run",
// "about", "splash", "lock" (the secured PC's lock window after a wrong
// password), "lock-screen-saver".
std::vector<std::string> SceneNames();

// Puts scene `name` on the stage and has it looked at once; false for an
// unknown scene or when the scene could not be reached.
bool PlayScene(const std::string& name, SceneStage& stage);

}  // namespace nocturo::ui
