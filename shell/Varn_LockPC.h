#pragma once
// The lock screen saver and the lock program of the secured PC: their
// windows, where they are installed, and the screen saver's settings.
//
// On Windows the lock screen saver is the system's screen saver, set
// through the system parameters and the desktop's SCRNSAVE.EXE value. On
// Linux the desktop has no such value: the program holds back the
// desktop's own blanking while its screen saver is on, and its main timer
// starts the screen saver when the user has been idle for the time-out.
#include <cstdint>
#include <string>

namespace nocturo {

inline constexpr const char* kLockWindowTitle = "2LockPc2";
inline constexpr const char* kLockScreenSaverTitle = "LockPcScr";
inline constexpr const char* kLockScreenSaverName = "LockPcScr.scr";

// The lock program in the program folder ("LockPc.exe"; "lockpc" on Linux).
std::string LockProgramPath();
// The lock screen saver in the program folder: "LockPcScr.scr" on Windows
// (where the install puts it), "lockpcscr" on Linux.
std::string LockScreenSaverPath();

// Turns the screen saver on or off; secured: the secured PC is on, and its
// lock takes the place of the desktop's.
void EnableSCR(bool enable, bool secured = true);
void SetSceensaverTimeOut(std::int32_t seconds);
// The screen saver program by its file name in the program folder (on
// Windows the SCRNSAVE.EXE value gets its full path); an empty name sets none.
void SetSceensaver(const std::string& name);

// Starts the lock program, shown without taking the focus. Throws when it
// cannot be started.
void StartLockProgram();
// Starts the lock screen saver at once, maximised with the focus. Throws
// when it cannot be started.
void StartLockScreenSaver();

// One look of the main timer, where the system does not start the screen
// saver by itself: starts it once the user has been idle for the time-out,
// once per idle spell.
void RunScreenSaverWhenIdle();

}  // namespace nocturo
