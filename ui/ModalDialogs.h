#pragma once
// The main window's modal dialogs on a desktop, whatever draws them: each is
// loaded, shown modal and unloaded again.
#include <functional>

namespace nocturo {
class Form;
class FrmMain;
}  // namespace nocturo

namespace nocturo::ui {

// runModal shows a loaded form's window modal and returns when the form
// unloads (RunModal, RunWin32Modal).
void ConnectModalDialogs(FrmMain& form, const std::function<void(Form&)>& runModal);

}  // namespace nocturo::ui
