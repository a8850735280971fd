#pragma once
// The rules a window's layout keeps, over the controls' rectangles and their
// texts' sizes as each toolkit measures them with the control's own font:
// every control that shows lies inside the window, no two overlap (a frame
// and the boxes inside it excepted, and pairs the form draws on top of each
// other on purpose), and every caption and text fits its control.
#include <string>
#include <vector>

namespace nocturo::ui {

// A rectangle in pixels; right and bottom lie just outside it.
struct LayoutRect {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool empty() const { return width <= 0 || height <= 0; }
    bool intersects(const LayoutRect& o) const {
        return !empty() && !o.empty() && left < o.right() && o.left < right() && top < o.bottom() &&
               o.top < bottom();
    }
    bool contains(const LayoutRect& o) const {
        return left <= o.left && o.right() <= right() && top <= o.top && o.bottom() <= bottom();
    }
};

enum class LayoutKind {
    Label,         // one line of text
    WrappedLabel,  // text broken into lines at the control's width
    Button,        // a push button's caption
    Choice,        // a check box or option button: its mark and caption
    Frame,         // a group box: its title
    Field,         // a text box or drop-down list: one line inside a border
    Other,         // a picture, a list, a bar, a shape: nothing to measure
};

struct LayoutItem {
    std::string name;  // "cmdGo", "optActions(2)"
    LayoutKind kind = LayoutKind::Other;
    LayoutRect rect;   // relative to the window's client area
    std::string text;  // as shown, the access key's "&" taken out
    // The text's size on one line in the control's font.
    int textWidth = 0, textHeight = 0;
    // Choice: the size the mark and caption need; WrappedLabel: needHeight
    // is the height the broken lines take.
    int needWidth = 0, needHeight = 0;
};

// One line per problem found ("cmdGo: caption is cut off: Go"); empty when
// the window is clean. Items that lie wholly outside the window (the options
// panel beyond the normal window's edges) are not on the screen and are not
// looked at.
std::vector<std::string> LayoutRuleProblems(const LayoutRect& window, const std::vector<LayoutItem>& items);

}  // namespace nocturo::ui
