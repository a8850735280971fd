#pragma once
// The simulated backend's services in one include.
#include "platform/sim/Journal.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimDialogs.h"
#include "platform/sim/SimEventLoop.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimHttp.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimSessionPower.h"
#include "platform/sim/SimSound.h"
#include "platform/sim/SimSystemInfo.h"
#include "platform/sim/SimTimeSettings.h"
#include "platform/sim/SimTray.h"
