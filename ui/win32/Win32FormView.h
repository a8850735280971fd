#pragma once
// A native window for any form model: one system control per model control
// (BUTTON for push buttons, check boxes, option buttons and frames, STATIC
// for labels, pictures and shapes, EDIT, COMBOBOX, LISTBOX, the common
// controls' progress bar), placed from the model's twips at the window's own
// DPI, repainted from the model's change listener, with the user's input
// forwarded to the model as the same named events the Qt view sends
// ("cmdGo.Click", "txtHour(3).Change", "Image1.MouseDown"). The view holds no
// behaviour of its own.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "controls/Controls.h"

namespace nocturo::ui::win32 {

// Makes the process per-monitor DPI aware (SetProcessDpiAwarenessContext
// where the system has it, else SetProcessDPIAware); once, before the first
// window. Safe to call again.
void EnableDpiAwareness();

// Whether windows can be made here: false under wine without a display.
bool DesktopAvailable();

class Win32FormView {
public:
    enum class Kind {
        Normal,     // the desktop's frame
        Frameless,  // a borderless window dragged by its surface
        Main,       // the main window: frameless while it is the small clock
        Black,      // borderless and black (the secured PC's screen saver)
    };

    // The model must outlive the view; the view takes over its change
    // listener. Throws platform::Error when the window cannot be made.
    explicit Win32FormView(Form& model, Kind kind = Kind::Normal);
    virtual ~Win32FormView();
    Win32FormView(const Win32FormView&) = delete;
    Win32FormView& operator=(const Win32FormView&) = delete;

    Form& form() const { return form_; }
    HWND hwnd() const { return hwnd_; }
    // The system control showing a control ("cmdGo", "optActions(2)"), null for one not shown.
    HWND controlWindow(const std::string& fullName) const;
    // The model control a system control shows, null for none of ours.
    Control* controlOf(HWND child) const;
    // The window's DPI (96 for 100 %), and twips to pixels at it.
    UINT dpi() const { return dpi_; }
    int toPixels(int twips) const;
    int toTwips(int pixels) const;
    // The font a control is drawn with.
    HFONT fontOf(const Control& control) const;
    // Whether a label breaks its caption into lines.
    bool wraps(const Control& control) const;
    bool frameless() const;
    bool dragging() const { return dragging_; }

    // Tab (Shift+Tab backwards) pressed in this window: the keyboard moves
    // to the next control in the model's order that takes it (shown,
    // enabled, a tab stop), round the end, and a field it enters is
    // selected, as in a dialog box. The stacking order, which the dialog
    // box's own Tab follows, runs the other way (the last control in front).
    // False when msg is no such key or the control with the focus wants Tab.
    bool tabKey(const MSG& msg);

    // Re-reads every control and the window from the model.
    void refreshAll();
    // The model is going away: the view lets go of it and never touches it again.
    void detach();
    // The view of a form, null when it has none.
    static Win32FormView* of(const Form& form);
    // The view of a loaded form by the form's name ("frmTimeSetup"), null
    // when no such form has one.
    static Win32FormView* named(const std::string& formName);

    // The form unloaded or hid its window.
    std::function<void()> onClosed;

    // Starts moving the window with the mouse until the left button is released.
    void beginDrag();

    // A colour of the forms (0xBBGGRR; the system colours 0x800000xx are the
    // palette's own) as a COLORREF.
    static COLORREF toColor(long value, COLORREF systemColor);

protected:
    virtual LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);

private:
    friend LRESULT CALLBACK FormWindowProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK ControlSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND makeControl(Control& control, int id);
    void refresh(const std::string& what);
    void refreshControl(Control& control);
    void refreshForm();
    void layOut();
    void fire(const Control& control, const char* event, int arg = 0);
    LRESULT controlMessage(HWND child, Control& control, UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void onCommand(HWND child, int code);
    void drawItem(const DRAWITEMSTRUCT& item);
    void drawContent(HDC dc, const Control& control, const RECT& into, int dx, int dy);
    void invalidateOverlapping(const Control& control);
    bool dragMessage(UINT msg, LPARAM lp, HWND from);
    void applyDpi(UINT dpi);
    void clearFonts();
    DWORD styleWanted() const;
    DWORD exStyleWanted() const;

    Form& form_;
    Kind kind_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    std::map<std::string, HWND> windows_;
    std::map<HWND, Control*> controlOf_;
    std::map<int, Control*> byId_;
    std::vector<Control*> drawn_;  // owner-drawn controls, back to front
    mutable std::map<std::string, HFONT> fonts_;
    HBRUSH background_ = nullptr;
    POINT dragOffset_{};
    bool dragging_ = false;
    bool applying_ = false;  // the view follows the model: no echo back
    bool shownFrameless_ = false;
    bool shownTopMost_ = false;
    bool placed_ = false;
    bool movedByUser_ = false;  // the model learns where a drag left the window
    int shownLeft_ = 0, shownTop_ = 0;
    bool detached_ = false;
    bool destroying_ = false;
};

}  // namespace nocturo::ui::win32
