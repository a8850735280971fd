#pragma once
// The scenes of ui/Scenes.h (every window of the program in each of its
// states) in native windows: for the Windows screenshots and the layout
// tests.
#include <functional>
#include <string>

namespace nocturo::ui::win32 {

class Win32FormView;

// Lets the windows take and draw what is waiting for them.
void PumpMessages();

// Sets scene `name` up on the installed runtime with its window shown and
// drawn, and calls `look` with the view; false for an unknown scene or when
// the scene could not be reached.
bool ShowScene(const std::string& name, const std::function<void(Win32FormView&)>& look);

}  // namespace nocturo::ui::win32
