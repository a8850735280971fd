#include "ui/ModalDialogs.h"

#include <iostream>

#include "base/Runtime.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "schedule/frmTimeSetup.h"
#include "schedule/frmWindowSetup.h"
#include "shell/FrmMain.h"
#include "shell/frmAbout.h"

namespace nocturo::ui {

namespace {

// Loads a dialog, waits while it is shown and unloads it.
template <class Dialog>
std::function<void()> modal(const std::function<void(Form&)>& runModal) {
    return [runModal] {
        Dialog dialog;
        dialog.Form_Load();
        runModal(dialog);
        if (dialog.loaded()) dialog.Form_Unload();
    };
}

}  // namespace

void ConnectModalDialogs(FrmMain& form, const std::function<void(Form&)>& runModal) {
    form.showTimeSetup = modal<frmTimeSetup>(runModal);
    form.showWindowSetup = modal<frmWindowSetup>(runModal);
    auto showAbout = modal<frmAbout>(runModal);
    form.showAbout = showAbout;
    form.showCleanerSetup = [showAbout, runModal](frmCleanHDSetup& setup) {
        setup.showRunWindow = [runModal](frmCleanNow& run) { runModal(run); };
        setup.showAbout = showAbout;
        runModal(setup);
    };
}

void ConnectMainWindow(Runtime& runtime, FrmMain& form, std::function<bool()> windowShown,
                       std::function<void()> quitLoop, const std::function<void(Form&)>& runModal) {
    runtime.logObserver = [](const std::string&, const std::string& line) { std::cout << line << std::endl; };
    runtime.errorIndicator = [&form] { form.ShowErrorIndicator(); };
    runtime.activeFormShown = std::move(windowShown);
    form.onUnloaded = std::move(quitLoop);
    ConnectModalDialogs(form, runModal);
}

}  // namespace nocturo::ui
