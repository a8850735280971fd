#pragma once
// The scenes of ui/Scenes.h (every window of the program in each of its
// states) in Qt's windows, so that they can be looked at: by the screenshots
// and by the layout tests.
#include <functional>
#include <string>
#include <vector>

namespace nocturo::ui {

class FormView;

// "main-normal", "main-options", "main-small-clock", "main-countdown", "main-postponed",
// "weekday-dialog", "time-window-dialog", "cleaner-setup", "cleaning-run",
// "about", "splash", "lock" (the secured PC's lock window after a wrong
// password), "lock-screen-saver".
std::vector<std::string> GalleryScenes();

// Sets scene `name` up with its window shown and calls `look` with the
// view; false for an unknown scene or when the scene could not be reached.
bool ShowScene(const std::string& name, const std::function<void(FormView&)>& look);

}  // namespace nocturo::ui
