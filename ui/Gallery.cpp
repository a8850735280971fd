#include "ui/Gallery.h"

#include <QApplication>

#include <memory>

#include "shell/FrmMain.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "ui/FormView.h"
#include "ui/FrmMainView.h"
#include "ui/LockPcView.h"
#include "ui/Scenes.h"

namespace nocturo::ui {

namespace {

// The scenes (ui/Scenes.cpp) in Qt's windows.
class QtStage : public SceneStage {
public:
    explicit QtStage(const std::function<void(FormView&)>& see) : see_(see) {}

    void open(Form& form, SceneWindow kind) override {
        switch (kind) {
        case SceneWindow::Main: view_ = std::make_unique<FrmMainView>(dynamic_cast<FrmMain&>(form)); break;
        case SceneWindow::Frameless: view_ = std::make_unique<FramelessView>(form); break;
        case SceneWindow::Lock: view_ = std::make_unique<LockPcView>(dynamic_cast<frmLockPc&>(form)); break;
        case SceneWindow::LockScreenSaver:
            view_ = std::make_unique<LockPcScrView>(dynamic_cast<frmLockPcScr&>(form));
            break;
        case SceneWindow::Plain: view_ = std::make_unique<FormView>(form); break;
        }
        view_->show();
    }
    void settle() override { QApplication::processEvents(); }
    void look() override {
        if (view_) see_(*view_);
    }
    void close() override { view_.reset(); }

private:
    const std::function<void(FormView&)>& see_;
    std::unique_ptr<FormView> view_;
};

}  // namespace

std::vector<std::string> GalleryScenes() { return SceneNames(); }

bool ShowScene(const std::string& name, const std::function<void(FormView&)>& see) {
    QtStage stage(see);
    return PlayScene(name, stage);
}

}  // namespace nocturo::ui
