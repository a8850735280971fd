// The main window's two ways of starting with the system: the autostart
// entry ("Start with Windows", on Linux "Start at login") and the system
// service ("Run as NT service", on Linux "Run as system service"). The two
// are exclusive: while the service box is checked the entry is removed.
#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/IServiceControl.h"
#include "shell/FrmMainParts.h"
#include "shell/Varn_NTservice.h"

namespace nocturo {

using namespace frmmain;

void FrmMain::chkStartWithWindow_Click() {
    step(proc("chkStartWithWindow_Click"), 1, [&] {
        auto& control = service(rt().pf.service);
        if (chkStartWithWindow.checked() && !chkNtService.checked())
            control.writeAutostart(rt().appName, AutostartProgramPath());
        else
            control.removeAutostart();
    });
}

void FrmMain::chkNtService_Click() {
    const char* p = "chkNtService_Click of Formular fMainForm";
    long saved = 0;
    if (!Step(p, 1, [&] { saved = CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)); }, kProgramSource))
        return;
    Step(
        p, 2,
        [&] {
            if (chkNtService.checked() && saved == 0 && !service(rt().pf.service).serviceRunning())
                InstallService(*this);
            else if (!chkNtService.checked() && saved == 1)
                UninstallService(*this);
        },
        kProgramSource);
}

void FrmMain::applyServiceCaptions() {
    if (!hasRuntime() || !rt().pf.files || isWindowsStyle()) return;
    chkStartWithWindow.setCaption("Start at login");
    chkNtService.setCaption("Run as system service");
}

}  // namespace nocturo
