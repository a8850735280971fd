#include "ui/FrmMainView.h"

#include <QCloseEvent>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QtGlobal>

#include <cmath>

// Resource set-up lives in the global namespace; a static library's resources
// are only linked in when something asks for them.
static void initNocturoPictures() { Q_INIT_RESOURCE(nocturo_pictures); }

namespace nocturo::ui {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

int twipsToPixels(int twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

}  // namespace

QPixmap FrmMainView::picture(const std::string& name) {
    initNocturoPictures();
    if (name.empty()) return {};
    return QPixmap(QStringLiteral(":/pictures/") + qs(name) + QStringLiteral(".png"));
}

FrmMainView::FrmMainView(FrmMain& model, QWidget* parent) : QWidget(parent), model_(model) {
    initNocturoPictures();
    setObjectName(qs(model_.formName()));
    setWindowIcon(QIcon(picture("nocturo")));

    // Made back to front, the drag area first.
    addImage(model_.Image1);
    addLabel(model_.lblTime);
    addLabel(model_.lblDate);
    addImage(model_.imgMinimize);
    addImage(model_.imgHome);
    addImage(model_.imgSysTray);
    addImage(model_.imgCountdown);
    addImage(model_.imgCounter1);
    addImage(model_.imgCounter0);
    addLabel(model_.lblAction);
    addLabel(model_.lblError);
    addImage(model_.ImgStop);
    addLabel(model_.lblNocturoInfo);
    addButton(model_.cmdGo, &FrmMain::cmdGo_Click);
    addButton(model_.cmdOptions, nullptr);
    addButton(model_.cmdExit, &FrmMain::cmdExit_Click);

    shownLeft_ = model_.left();
    shownTop_ = model_.top();
    model_.setChangeListener([this](const std::string& what) { refresh(what); });
    for (auto& [name, widget] : widgets_) refreshControl(*controlOf_.at(widget));
    refreshForm();
}

FrmMainView::~FrmMainView() { model_.setChangeListener(nullptr); }

QWidget* FrmMainView::widgetFor(const std::string& fullName) const {
    auto it = widgets_.find(fullName);
    return it == widgets_.end() ? nullptr : it->second;
}

int FrmMainView::twipsToPixelsX(int twips) const { return twipsToPixels(twips, logicalDpiX()); }
int FrmMainView::twipsToPixelsY(int twips) const { return twipsToPixels(twips, logicalDpiY()); }

void FrmMainView::addLabel(Label& label) {
    auto* w = new QLabel(this);
    w->setTextFormat(Qt::PlainText);
    place(label, w);
}

void FrmMainView::addImage(Image& image) {
    auto* w = new QLabel(this);
    w->setScaledContents(true);
    w->installEventFilter(this);
    place(image, w);
}

void FrmMainView::addButton(CommandButton& button, void (FrmMain::*handler)()) {
    auto* w = new QPushButton(this);
    w->setAutoDefault(false);
    if (handler) connect(w, &QPushButton::clicked, this, [this, handler] { (model_.*handler)(); });
    place(button, w);
}

void FrmMainView::place(Control& control, QWidget* widget) {
    widget->setObjectName(qs(control.fullName()));
    widgets_[control.fullName()] = widget;
    controlOf_[widget] = &control;
}

void FrmMainView::refresh(const std::string& what) {
    if (what.empty()) {
        refreshForm();
        return;
    }
    if (widgetFor(what)) {
        if (Control* c = model_.findControl(what)) refreshControl(*c);
    }
}

void FrmMainView::refreshControl(Control& control) {
    QWidget* w = widgetFor(control.fullName());
    if (!w) return;
    w->setGeometry(twipsToPixelsX(control.left()), twipsToPixelsY(control.top()), twipsToPixelsX(control.width()),
                   twipsToPixelsY(control.height()));
    w->setEnabled(control.enabled());
    w->setHidden(!control.visible());
    w->setToolTip(qs(control.toolTip()));
    if (auto* image = dynamic_cast<Image*>(&control)) {
        static_cast<QLabel*>(w)->setPixmap(picture(image->picture()));
    } else if (auto* label = dynamic_cast<Label*>(&control)) {
        static_cast<QLabel*>(w)->setText(qs(label->caption()));
    } else if (auto* button = dynamic_cast<CaptionControl*>(&control)) {
        // An "&" marks the access key, as Qt's own mnemonics do.
        static_cast<QPushButton*>(w)->setText(qs(button->caption()));
    }
}

void FrmMainView::refreshForm() {
    applyingState_ = true;
    setWindowTitle(qs(model_.caption()));
    setFixedSize(twipsToPixelsX(model_.width()), twipsToPixelsY(model_.height()));
    if (model_.left() != shownLeft_ || model_.top() != shownTop_) {
        shownLeft_ = model_.left();
        shownTop_ = model_.top();
        move(twipsToPixelsX(shownLeft_), twipsToPixelsY(shownTop_));
    }
    if (!model_.visible()) {
        if (isVisible()) hide();
    } else {
        const bool minimized = model_.windowState() == WindowState::Minimized;
        if (minimized != isMinimized()) {
            if (minimized) showMinimized();
            else showNormal();
        } else if (!isVisible()) {
            show();
        }
    }
    applyingState_ = false;
}

void FrmMainView::closeEvent(QCloseEvent* event) {
    if (!model_.loaded() || model_.unloaded()) {
        event->accept();
        return;
    }
    // The close box only minimises while the program runs on; the model says
    // which it was.
    model_.Form_Unload();
    if (model_.visible() && !model_.unloaded()) event->ignore();
    else event->accept();
    refreshForm();
}

void FrmMainView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || applyingState_) return;
    // The user minimised or restored the window through the window manager.
    if (isMinimized()) model_.setWindowState(WindowState::Minimized);
    else if (isMaximized()) model_.setWindowState(WindowState::Maximized);
    else model_.setWindowState(WindowState::Normal);
}

bool FrmMainView::eventFilter(QObject* watched, QEvent* event) {
    auto it = controlOf_.find(watched);
    if (it == controlOf_.end()) return QWidget::eventFilter(watched, event);
    Control* c = it->second;
    const auto type = event->type();
    if (!c->enabled()) return QWidget::eventFilter(watched, event);

    if (c == &model_.ImgStop && type == QEvent::MouseButtonDblClick) {
        model_.ImgStop_DblClick();
        return true;
    }
    if (c == &model_.imgCountdown && type == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && static_cast<QWidget*>(watched)->rect().contains(me->position().toPoint()))
            model_.imgCountdown_Click();
        return true;
    }
    if (c == &model_.Image1) {
        // The drag area: holding the left button on it moves the window.
        auto* me = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress && me->button() == Qt::LeftButton) {
            dragging_ = true;
            dragStart_ = me->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (type == QEvent::MouseMove && dragging_) {
            move(me->globalPosition().toPoint() - dragStart_);
            return true;
        }
        if (type == QEvent::MouseButtonRelease && dragging_) {
            dragging_ = false;
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace nocturo::ui
