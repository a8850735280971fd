#pragma once
// The two programs of the secured PC without windows: lockpc asks for the
// options password on the terminal until it is right; lockpcscr has nothing
// to show and waits for a line on its input or a termination signal.
#include <string>

#include "platform/PlatformHost.h"

namespace nocturo::programs {

// Exit codes: 0 unlocked (or handed over to the desktop's lock), 1 no
// language file, the desktop's lock refused, or no terminal to ask on.
int RunLockPcHeadless(platform::PlatformHost& host);
int RunLockPcScrHeadless(platform::PlatformHost& host);

// What the system's screen saver arguments ask for: "/s" (also "-S",
// "/s:...") to run, "/p HWND", "/l", "/c[:HWND]" and "/a" (preview, settings,
// password) for which there is nothing to show; anything else is unknown.
enum class ScreenSaverCall { Run, Nothing, Unknown };
ScreenSaverCall ScreenSaverRequest(const std::string& commandLine);

std::string LockPcUsage();
std::string LockPcScrUsage();

}  // namespace nocturo::programs
