#pragma once
// The main window on the desktop: renders a FrmMain model and forwards the
// user's clicks to its handlers. Every control shown is one Qt widget placed
// from the model's twips; the model's change listener repaints what changed.
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <map>
#include <string>

#include "shell/FrmMain.h"

class QLabel;

namespace nocturo::ui {

class FrmMainView : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the view; the view takes over its change listener.
    explicit FrmMainView(FrmMain& model, QWidget* parent = nullptr);
    ~FrmMainView() override;

    FrmMain& model() const { return model_; }
    // The widget showing a control ("cmdGo", "imgCounter0"), null for one not shown.
    QWidget* widgetFor(const std::string& fullName) const;
    // Twips to pixels at this widget's logical resolution (1440 twips an inch).
    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;
    // One of the program's pictures by name ("digit3", "idle"); null if unknown.
    static QPixmap picture(const std::string& name);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addLabel(Label& label);
    void addImage(Image& image);
    void addButton(CommandButton& button, void (FrmMain::*handler)());
    void place(Control& control, QWidget* widget);
    void refresh(const std::string& what);
    void refreshControl(Control& control);
    void refreshForm();

    FrmMain& model_;
    std::map<std::string, QWidget*> widgets_;
    std::map<QObject*, Control*> controlOf_;
    QPoint dragStart_;
    bool dragging_ = false;
    bool applyingState_ = false;  // the view follows the model: no echo back
    int shownLeft_ = 0, shownTop_ = 0;
};

}  // namespace nocturo::ui
