#include "ui/LayoutRules.h"

#include <set>
#include <utility>

namespace nocturo::ui {

namespace {

// Controls drawn over others by design: the drag area lies over the small
// clock's headers, the splash's titles over their shadows, the postpone
// buttons over the end of the information line.
bool overlapAllowed(const std::string& a, const std::string& b) {
    static const std::set<std::pair<std::string, std::string>> pairs{
        {"Image1", "lblTimeHeader"},        {"Image1", "lblShutdownTimeHeader"}, {"lblTitleShadow", "lblTitle"},
        {"lblVersionShadow", "lblVersion"}, {"imgMinimize", "Image1"},
        {"cmdPostpone5", "lblNocturoInfo"}, {"cmdPostpone15", "lblNocturoInfo"}, {"cmdPostpone60", "lblNocturoInfo"},
    };
    return pairs.count({a, b}) > 0 || pairs.count({b, a}) > 0;
}

}  // namespace

std::vector<std::string> LayoutRuleProblems(const LayoutRect& window, const std::vector<LayoutItem>& items) {
    std::vector<std::string> problems;
    auto problem = [&](const LayoutItem& item, const std::string& what) { problems.push_back(item.name + ": " + what); };

    std::vector<const LayoutItem*> shown;
    for (const LayoutItem& item : items) {
        if (!window.intersects(item.rect)) continue;
        shown.push_back(&item);
        if (!window.contains(item.rect)) problem(item, "sticks out of the window");
    }

    for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const LayoutItem& a = *shown[i];
            const LayoutItem& b = *shown[j];
            if (!a.rect.intersects(b.rect)) continue;
            if (overlapAllowed(a.name, b.name)) continue;
            const bool frameHolds = (a.kind == LayoutKind::Frame && a.rect.contains(b.rect)) ||
                                    (b.kind == LayoutKind::Frame && b.rect.contains(a.rect));
            if (!frameHolds) problem(a, "overlaps " + b.name);
        }

    for (const LayoutItem* p : shown) {
        const LayoutItem& item = *p;
        const LayoutRect& r = item.rect;
        switch (item.kind) {
        case LayoutKind::WrappedLabel:
            if (!item.text.empty() && item.needHeight > r.height) problem(item, "wrapped text is cut off");
            break;
        case LayoutKind::Label:
            if (item.text.empty()) break;
            if (item.textWidth > r.width) problem(item, "text is cut off: " + item.text);
            if (item.textHeight > r.height + 1) problem(item, "text is too tall");
            break;
        case LayoutKind::Button:
            if (item.textWidth + 8 > r.width) problem(item, "caption is cut off: " + item.text);
            if (item.textHeight + 4 > r.height) problem(item, "caption is too tall");
            break;
        case LayoutKind::Choice:
            if (item.needWidth > r.width) problem(item, "caption is cut off");
            if (item.needHeight > r.height + 2) problem(item, "caption is too tall");
            break;
        case LayoutKind::Frame:
            if (item.textWidth + 16 > r.width) problem(item, "title is cut off");
            break;
        case LayoutKind::Field:
            if (item.textHeight + 4 > r.height) problem(item, "text is too tall for the field");
            break;
        case LayoutKind::Other: break;
        }
    }
    return problems;
}

}  // namespace nocturo::ui
