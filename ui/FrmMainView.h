#pragma once
// The main window on the desktop. The small clock is a frameless strip; the
// normal window and the options panel have the desktop's frame, whose close
// box the model turns into minimising.
#include "shell/FrmMain.h"
#include "ui/FormView.h"

namespace nocturo::ui {

class FrmMainView : public FormView {
    Q_OBJECT

public:
    explicit FrmMainView(FrmMain& model, QWidget* parent = nullptr) : FormView(model, parent), model_(model) {
        refreshAll();
    }
    FrmMain& model() const { return model_; }

protected:
    bool frameless() const override { return model_.height() == twips::SmallClockHeight; }

private:
    FrmMain& model_;
};

}  // namespace nocturo::ui
