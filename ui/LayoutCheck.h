#pragma once
// Checks a window as the user sees it: every control that shows lies inside
// the window, no two overlap (a frame and the boxes inside it excepted, and
// pairs the form draws on top of each other on purpose), and every caption
// and text fits its control.
#include <string>
#include <vector>

namespace nocturo::ui {

class FormView;

// One line per problem found; empty when the window is clean.
std::vector<std::string> LayoutProblems(const FormView& view);

}  // namespace nocturo::ui
