#pragma once
// Start-up of the two programs of the secured PC (the lock window and its
// screen saver): the same identity, settings tree, language file and error
// log the main program starts with, without its window, splash or
// single-instance lock.
#include <string>

namespace nocturo {

// The procedure texts of the two programs' start-up.
inline constexpr const char* kLockPcMain = "Main of Modul LockPc";
inline constexpr const char* kLockPcScrMain = "Main of Modul LockPcScr";

// Runs the shared start-up, each statement under the error log convention
// with `procedure` as its procedure text. False when the language file
// cannot be loaded (the program then ends with exit code 1).
bool PrepareLockProgram(const std::string& procedure);

}  // namespace nocturo
