#include "ui/win32/Win32LayoutCheck.h"

#include <algorithm>

#include "app/frmSplash.h"
#include "platform/win32/WinText.h"
#include "ui/win32/Win32FormView.h"

namespace nocturo::ui::win32 {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

std::wstring withoutAccessKey(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
    return text;
}

// Text sizes in one control's font.
class Measure {
public:
    Measure(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) { old_ = SelectObject(dc_, font); }
    ~Measure() {
        SelectObject(dc_, old_);
        ReleaseDC(window_, dc_);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    int width(const std::wstring& text) const {
        SIZE size{};
        if (!text.empty()) GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    int lineHeight() const {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc_, &tm);
        return tm.tmHeight;
    }
    // The height the text takes broken into lines at this width.
    int wrappedHeight(const std::wstring& text, int width) const {
        RECT r{0, 0, width, 0};
        DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        return r.bottom - r.top;
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ old_;
};

bool isFrame(const Control& c) { return c.name().rfind("fra", 0) == 0; }

}  // namespace

std::vector<LayoutItem> LayoutItems(const Win32FormView& view) {
    std::vector<LayoutItem> items;
    for (Control* c : view.form().controls()) {
        HWND w = view.controlWindow(c->fullName());
        // Shown: the control's own flag, whether or not the window is on the screen yet.
        if (!w || !(GetWindowLongPtrW(w, GWL_STYLE) & WS_VISIBLE)) continue;
        LayoutItem item;
        item.name = c->fullName();
        RECT r{};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, view.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        item.rect = {r.left, r.top, r.right - r.left, r.bottom - r.top};
        const Measure measure(view.hwnd(), view.fontOf(*c));
        auto text = [&](const std::wstring& shown) {
            item.text = Narrow(shown);
            item.textWidth = measure.width(shown);
            item.textHeight = measure.lineHeight();
        };
        if (auto* label = dynamic_cast<Label*>(c)) {
            text(Widen(label->caption()));
            if (view.wraps(*c)) {
                item.kind = LayoutKind::WrappedLabel;
                item.needHeight = item.text.empty() ? 0 : measure.wrappedHeight(Widen(label->caption()), item.rect.width);
            } else {
                item.kind = LayoutKind::Label;
            }
        } else if (dynamic_cast<CheckBox*>(c) || dynamic_cast<OptionButton*>(c)) {
            item.kind = LayoutKind::Choice;
            const std::wstring caption = withoutAccessKey(Widen(static_cast<CaptionControl*>(c)->caption()));
            // The mark (13 pixels at 96 dpi), the gap after it and the focus
            // rectangle around the caption.
            const int mark = view.toPixels(13 * 15), gap = view.toPixels(4 * 15) + 2;
            item.needWidth = mark + gap + measure.width(caption);
            item.needHeight = std::max(mark, measure.lineHeight());
        } else if (dynamic_cast<TextBox*>(c) || dynamic_cast<ComboBox*>(c)) {
            item.kind = LayoutKind::Field;
            item.textHeight = measure.lineHeight();
        } else if (auto* caption = dynamic_cast<CaptionControl*>(c)) {
            item.kind = isFrame(*c) ? LayoutKind::Frame : LayoutKind::Button;
            const std::wstring shown = withoutAccessKey(Widen(caption->caption()));
            text(shown);
            if (item.kind == LayoutKind::Button) item.text = caption->caption();
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<std::string> LayoutProblems(const Win32FormView& view) {
    RECT client{};
    GetClientRect(view.hwnd(), &client);
    return LayoutRuleProblems({0, 0, client.right, client.bottom}, LayoutItems(view));
}

}  // namespace nocturo::ui::win32
