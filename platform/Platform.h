#pragma once
// The seam between the core and the machine: one interface per service.
#include "platform/IClock.h"
#include "platform/IDialogs.h"
#include "platform/IEventLoop.h"
#include "platform/IFileSystem.h"
#include "platform/IHttp.h"
#include "platform/INotifications.h"
#include "platform/IProcesses.h"
#include "platform/IRegistry.h"
#include "platform/IScreenSaver.h"
#include "platform/IServiceControl.h"
#include "platform/ISntp.h"
#include "platform/ISessionPower.h"
#include "platform/ISound.h"
#include "platform/ISystemInfo.h"
#include "platform/ITimeSettings.h"
#include "platform/ITray.h"
#include "platform/IWindows.h"

namespace nocturo::platform {

struct Platform {
    IRegistry* registry = nullptr;
    IFileSystem* files = nullptr;
    ISystemInfo* system = nullptr;
    IClock* clock = nullptr;
    IEventLoop* loop = nullptr;
    IDialogs* dialogs = nullptr;
    IProcesses* processes = nullptr;
    ISessionPower* power = nullptr;
    ISound* sound = nullptr;
    ISpeech* speech = nullptr;
    IWindows* windows = nullptr;
    ITray* tray = nullptr;  // null: the desktop has no notification area
    IHttp* http = nullptr;
    ISntp* sntp = nullptr;  // null: no network time queries from here
    IServiceControl* service = nullptr;  // null: no autostart entry or system service here
    ITimeSettings* time = nullptr;  // null: the clock cannot be set from here
    IScreenSaver* screenSaver = nullptr;  // null: no screen saver to set
    INotifications* notifications = nullptr;  // null: no desktop notifications
};

}  // namespace nocturo::platform
