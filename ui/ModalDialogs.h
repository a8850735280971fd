#pragma once
// The main window's modal dialogs on a desktop, whatever draws them: each is
// loaded, shown modal and unloaded again.
#include <functional>

namespace nocturo {
class Form;
class FrmMain;
struct Runtime;
}  // namespace nocturo

namespace nocturo::ui {

// runModal shows a loaded form's window modal and returns when the form
// unloads (RunModal, RunWin32Modal).
void ConnectModalDialogs(FrmMain& form, const std::function<void(Form&)>& runModal);

// The main window's ties to a desktop run: the action log printed, the
// error indicator, whether a window of ours is shown (a timed box belongs to
// one), the end of the loop when the window unloads, and the modal dialogs.
void ConnectMainWindow(Runtime& runtime, FrmMain& form, std::function<bool()> windowShown,
                       std::function<void()> quitLoop, const std::function<void(Form&)>& runModal);

}  // namespace nocturo::ui
