#include "ui/win32/Win32Scenes.h"

#include <windows.h>

#include <memory>

#include "controls/Controls.h"
#include "ui/Scenes.h"
#include "ui/win32/Win32FormView.h"

namespace nocturo::ui::win32 {

namespace {

Win32FormView::Kind kindOf(SceneWindow window) {
    switch (window) {
    case SceneWindow::Main: return Win32FormView::Kind::Main;
    case SceneWindow::Frameless: return Win32FormView::Kind::Frameless;
    // The secured PC's windows are black, as on the Linux desktop.
    case SceneWindow::Lock:
    case SceneWindow::LockScreenSaver: return Win32FormView::Kind::Black;
    case SceneWindow::Plain: break;
    }
    return Win32FormView::Kind::Normal;
}

class NativeStage : public SceneStage {
public:
    explicit NativeStage(const std::function<void(Win32FormView&)>& see) : see_(see) {}

    void open(Form& form, SceneWindow kind) override {
        view_ = std::make_unique<Win32FormView>(form, kindOf(kind));
        ShowWindow(view_->hwnd(), SW_SHOWNORMAL);
        SetWindowPos(view_->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    void settle() override {
        if (view_) RedrawWindow(view_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpMessages();
    }
    void look() override {
        if (view_) see_(*view_);
    }
    void close() override {
        view_.reset();
        PumpMessages();
    }

private:
    const std::function<void(Win32FormView&)>& see_;
    std::unique_ptr<Win32FormView> view_;
};

}  // namespace

void PumpMessages() {
    // Twice: painting one window can post work for another.
    for (int round = 0; round < 2; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns it
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

bool ShowScene(const std::string& name, const std::function<void(Win32FormView&)>& look) {
    NativeStage stage(look);
    return PlayScene(name, stage);
}

}  // namespace nocturo::ui::win32
