// The layout rules shared by the Qt and the native windows, over rectangles
// and measured text sizes: no display needed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/LayoutRules.h"

using nocturo::ui::LayoutItem;
using nocturo::ui::LayoutKind;
using nocturo::ui::LayoutRect;
using nocturo::ui::LayoutRuleProblems;

namespace {

const LayoutRect kWindow{0, 0, 300, 200};

LayoutItem item(const std::string& name, LayoutKind kind, LayoutRect r, int textWidth = 0, int textHeight = 0) {
    LayoutItem i;
    i.name = name;
    i.kind = kind;
    i.rect = r;
    i.text = textWidth ? "text" : "";
    i.textWidth = textWidth;
    i.textHeight = textHeight;
    return i;
}

struct Case {
    const char* what;
    std::vector<LayoutItem> items;
    std::vector<std::string> problems;
};

}  // namespace

TEST(LayoutRules, FindWhatTheUserWouldSeeWrongAndNothingElse) {
    LayoutItem choice = item("chkOn", LayoutKind::Choice, {10, 10, 80, 17});
    choice.needWidth = 81;
    choice.needHeight = 19;
    LayoutItem wrapped = item("lblInfo", LayoutKind::WrappedLabel, {10, 10, 100, 30}, 250, 13);
    wrapped.needHeight = 31;
    LayoutItem wrappedFits = wrapped;
    wrappedFits.needHeight = 30;
    const std::vector<Case> cases{
        {"an empty window", {}, {}},
        {"inside and apart", {item("a", LayoutKind::Other, {0, 0, 10, 10}), item("b", LayoutKind::Other, {10, 0, 10, 10})}, {}},
        {"one pixel out", {item("a", LayoutKind::Other, {291, 0, 10, 10})}, {"a: sticks out of the window"}},
        {"wholly outside (beyond the normal window)", {item("a", LayoutKind::Other, {300, 0, 10, 10})}, {}},
        {"an empty control", {item("a", LayoutKind::Other, {5, 5, 0, 10}), item("b", LayoutKind::Other, {0, 0, 20, 20})}, {}},
        {"overlap", {item("a", LayoutKind::Other, {0, 0, 11, 10}), item("b", LayoutKind::Other, {10, 0, 10, 10})}, {"a: overlaps b"}},
        {"a pair drawn over each other on purpose",
         {item("lblTitleShadow", LayoutKind::Label, {0, 0, 50, 20}), item("lblTitle", LayoutKind::Label, {1, 1, 50, 20})},
         {}},
        {"the same pair the other way round",
         {item("lblTitle", LayoutKind::Label, {0, 0, 50, 20}), item("lblTitleShadow", LayoutKind::Label, {1, 1, 50, 20})},
         {}},
        {"a frame holding its box",
         {item("fraOptions", LayoutKind::Frame, {0, 0, 200, 100}), item("chkA", LayoutKind::Other, {10, 20, 50, 17})},
         {}},
        {"a box sticking out of its frame",
         {item("fraOptions", LayoutKind::Frame, {0, 0, 200, 100}), item("chkA", LayoutKind::Other, {190, 20, 50, 17})},
         {"fraOptions: overlaps chkA"}},
        {"a frame inside a box is no frame holding it",
         {item("cmdA", LayoutKind::Button, {0, 0, 200, 100}, 20, 13), item("fraB", LayoutKind::Frame, {10, 10, 50, 50}, 20, 13)},
         {"cmdA: overlaps fraB"}},
        {"a label one pixel too narrow", {item("lblA", LayoutKind::Label, {0, 0, 49, 13}, 50, 13)}, {"lblA: text is cut off: text"}},
        {"a label just wide enough", {item("lblA", LayoutKind::Label, {0, 0, 50, 12}, 50, 13)}, {}},
        {"a label two pixels too low", {item("lblA", LayoutKind::Label, {0, 0, 50, 11}, 50, 13)}, {"lblA: text is too tall"}},
        {"an empty label is never cut off", {item("lblA", LayoutKind::Label, {0, 0, 1, 1})}, {}},
        {"a button's caption needs its margins",
         {item("cmdGo", LayoutKind::Button, {0, 0, 57, 20}, 50, 16)},
         {"cmdGo: caption is cut off: text"}},
        {"a button just big enough", {item("cmdGo", LayoutKind::Button, {0, 0, 58, 20}, 50, 16)}, {}},
        {"a button too low", {item("cmdGo", LayoutKind::Button, {0, 0, 58, 19}, 50, 16)}, {"cmdGo: caption is too tall"}},
        {"a check box one pixel too narrow", {choice}, {"chkOn: caption is cut off"}},
        {"a frame's title", {item("fraA", LayoutKind::Frame, {0, 0, 65, 50}, 50, 13)}, {"fraA: title is cut off"}},
        {"a field too low for its text", {item("txtA", LayoutKind::Field, {0, 0, 50, 16}, 0, 13)}, {"txtA: text is too tall for the field"}},
        {"a field just high enough", {item("txtA", LayoutKind::Field, {0, 0, 50, 17}, 0, 13)}, {}},
        {"wrapped text one pixel too high", {wrapped}, {"lblInfo: wrapped text is cut off"}},
        {"wrapped text that fits (wide as it is on one line)", {wrappedFits}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(LayoutRuleProblems(kWindow, c.items), c.problems) << c.what;
}

TEST(LayoutRules, EveryProblemOfOneControlIsListed) {
    const std::vector<LayoutItem> items{item("cmdGo", LayoutKind::Button, {290, 190, 20, 15}, 50, 16),
                                        item("lblA", LayoutKind::Other, {295, 195, 3, 3})};
    const std::vector<std::string> expected{"cmdGo: sticks out of the window", "cmdGo: overlaps lblA",
                                            "cmdGo: caption is cut off: text", "cmdGo: caption is too tall"};
    EXPECT_EQ(LayoutRuleProblems(kWindow, items), expected);
}
