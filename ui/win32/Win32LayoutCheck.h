#pragma once
// The layout rules of ui/LayoutRules.h over a native window: each control's
// rectangle as the system placed it and its text measured with the
// control's own font (GetTextExtentPoint32W).
#include <string>
#include <vector>

#include "ui/LayoutRules.h"

namespace nocturo::ui::win32 {

class Win32FormView;

// The shown controls as the rules see them.
std::vector<LayoutItem> LayoutItems(const Win32FormView& view);
// One line per problem found; empty when the window is clean.
std::vector<std::string> LayoutProblems(const Win32FormView& view);

}  // namespace nocturo::ui::win32
