// The main window's two ways of starting with the system: the autostart
// entry ("Start with Windows", on Linux "Start at login") and the system
// service ("Run as NT service", on Linux "Run as system service"). The two
// are exclusive: while the service box is checked the entry is removed.
#include "base/Runtime.h"
#include "base/Strings.h"
#include "platform/ISound.h"
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

namespace {

// A failing statement of a service event is logged twice: under the
// handler's name, and once more as the service component reports it.
template <class F>
void serviceStep(const char* procedure, long line, F&& statement) {
    try {
        statement();
    } catch (...) {
        const auto [number, description] = CurrentErrorInfo();
        WriteErrorLog(kProgramSource, procedure, line, number, description);
        WriteErrorLog("109", "1", line, number, description);
    }
}

}  // namespace

void FrmMain::NTService1_Start(bool& success) {
    serviceStep("NTService1_Start of Formular fMainForm", 1, [&] {
        if (life_ != Life::Ending && life_ != Life::Ended) setTimer2Enabled(true);
        success = true;
    });
}

void FrmMain::NTService1_Stop() {
    const char* p = "NTService1__Stop of Formular fMainForm";
    serviceStep(p, 1, [&] {
        if (Trim(tag()).empty()) UnloadProgram();
        else sound().beep();
    });
    serviceStep(p, 2, [&] { setTimer2Enabled(false); });
}

void FrmMain::NTService1_Pause(bool& success) {
    serviceStep("NTService1__Pause of Formular fMainForm", 1, [&] {
        setTimer2Enabled(false);
        success = !rt().tickBusy;
    });
}

void FrmMain::NTService1_Continue(bool& success) {
    serviceStep("NTService1__Continue of Formular fMainForm", 1, [&] {
        if (life_ != Life::Ending && life_ != Life::Ended) setTimer2Enabled(true);
        success = true;
    });
}

void FrmMain::applyServiceCaptions() {
    if (!hasRuntime() || !rt().pf.files || isWindowsStyle()) return;
    chkStartWithWindow.setCaption("Start at login");
    chkNtService.setCaption("Run as system service");
}

}  // namespace nocturo
