#include "ui/FormView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtGlobal>

#include <cmath>

#include "app/frmSplash.h"

// Resource set-up lives in the global namespace; a static library's resources
// are only linked in when something asks for them.
static void initNocturoPictures() { Q_INIT_RESOURCE(nocturo_pictures); }

namespace nocturo::ui {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

int twipsToPixels(int twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

int buttonOf(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

constexpr long kSystemColor = 0x8000000F;

FormView::EventObserver& eventObserver() {
    static FormView::EventObserver observer;
    return observer;
}

std::map<const Form*, FormView*>& viewsOfForms() {
    static std::map<const Form*, FormView*> views;
    return views;
}

// Frames ("fraFolderOptions") and command buttons share the caption model;
// the name's prefix tells them apart.
bool isFrame(const Control& c) { return c.name().rfind("fra", 0) == 0; }

}  // namespace

QPixmap FormView::picture(const std::string& name) {
    initNocturoPictures();
    if (name.empty()) return {};
    return QPixmap(QStringLiteral(":/pictures/") + qs(name) + QStringLiteral(".png"));
}

QColor FormView::toColor(long value, const QColor& systemColor) {
    if (value & 0x80000000L) return systemColor;
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

FormView::FormView(Form& model, QWidget* parent) : QWidget(parent), form_(model) {
    initNocturoPictures();
    setObjectName(qs(form_.formName()));
    setWindowIcon(QIcon(picture("nocturo")));
    // The forms are laid out for an 8-point face at 96 dpi; the same size in
    // pixels keeps every caption inside its control at any resolution.
    QFont face = font();
    face.setPixelSize(std::max(9, twipsToPixelsY(165)));
    setFont(face);

    // Made in the model's order, back to front: a frame comes before the
    // boxes it holds.
    for (Control* c : form_.controls())
        if (QWidget* w = makeWidget(*c)) {
            w->setObjectName(qs(c->fullName()));
            widgets_[c->fullName()] = w;
            controlOf_[w] = c;
        }

    form_.onDragStart = [this] { beginDrag(); };
    form_.setChangeListener([this](const std::string& what) { refresh(what); });
    viewsOfForms()[&form_] = this;
    refreshAll();
}

FormView::~FormView() { detach(); }

void FormView::detach() {
    if (detached_) return;
    detached_ = true;
    viewsOfForms().erase(&form_);
    form_.setChangeListener(nullptr);
    form_.onDragStart = nullptr;
}

FormView* FormView::of(const Form& form) {
    auto it = viewsOfForms().find(&form);
    return it == viewsOfForms().end() ? nullptr : it->second;
}

QWidget* FormView::widgetFor(const std::string& fullName) const {
    auto it = widgets_.find(fullName);
    return it == widgets_.end() ? nullptr : it->second;
}

int FormView::twipsToPixelsX(int twips) const { return twipsToPixels(twips, logicalDpiX()); }
int FormView::twipsToPixelsY(int twips) const { return twipsToPixels(twips, logicalDpiY()); }

void FormView::setEventObserver(EventObserver observer) { eventObserver() = std::move(observer); }

void FormView::observe(const std::string& event) {
    if (EventObserver observer = eventObserver()) observer(form_, event);
}

void FormView::send(const std::string& event, int arg) {
    observe(event);
    form_.fireEvent(event, arg);
}

void FormView::fire(const Control& control, const char* event, int arg) {
    if (detached_) return;
    send(control.fullName() + "." + event, arg);
}

QWidget* FormView::makeWidget(Control& c) {
    if (dynamic_cast<Timer*>(&c)) return nullptr;
    if (dynamic_cast<ProgressBar*>(&c)) {
        auto* w = new QProgressBar(this);
        w->setRange(0, 100);
        w->setTextVisible(false);
        return w;
    }
    if (dynamic_cast<Shape*>(&c)) {
        auto* w = new QFrame(this);
        w->setFrameShape(QFrame::Box);
        w->setAutoFillBackground(true);
        return w;
    }
    if (dynamic_cast<Label*>(&c) || dynamic_cast<Image*>(&c)) {
        auto* w = new QLabel(this);
        w->setTextFormat(Qt::PlainText);
        if (dynamic_cast<Image*>(&c)) w->setScaledContents(true);
        if (form_.handles(c.fullName() + ".Click") && dynamic_cast<Label*>(&c)) {
            // A label that does something on a click reads as a link.
            QFont f = w->font();
            f.setUnderline(true);
            w->setFont(f);
            // A link with nowhere to go (greyed) reads as plain grey text.
            w->setStyleSheet(QStringLiteral("QLabel { color: #1a4fb3; } "
                                            "QLabel:disabled { color: #8a8a8a; text-decoration: none; }"));
        }
        if (form_.handles(c.fullName() + ".Click") || form_.handles(c.fullName() + ".DblClick"))
            w->setCursor(Qt::PointingHandCursor);
        w->installEventFilter(this);
        return w;
    }
    if (auto* box = dynamic_cast<CheckBox*>(&c)) {
        auto* w = new QCheckBox(this);
        connect(w, &QCheckBox::clicked, this, [this, box] {
            fire(*box, "Click");
            refreshControl(*box);
        });
        return w;
    }
    if (auto* option = dynamic_cast<OptionButton*>(&c)) {
        auto* w = new QRadioButton(this);
        w->setAutoExclusive(false);  // the model keeps its group
        connect(w, &QRadioButton::clicked, this, [this, option] {
            fire(*option, "Click");
            refreshControl(*option);
        });
        return w;
    }
    if (auto* text = dynamic_cast<TextBox*>(&c)) {
        auto* w = new QLineEdit(this);
        connect(w, &QLineEdit::textEdited, this, [this, text](const QString& now) {
            text->setText(now.toStdString());
            fire(*text, "Change");
        });
        w->installEventFilter(this);
        return w;
    }
    if (auto* combo = dynamic_cast<ComboBox*>(&c)) {
        auto* w = new QComboBox(this);
        connect(w, &QComboBox::activated, this, [this, combo](int i) {
            combo->setListIndex(i);
            fire(*combo, "Click");
        });
        return w;
    }
    if (auto* list = dynamic_cast<ListBox*>(&c)) {
        auto* w = new QListWidget(this);
        connect(w, &QListWidget::currentRowChanged, this, [this, list](int row) {
            if (applyingState_ || row == list->listIndex()) return;
            list->setListIndex(row);
            fire(*list, "Click");
        });
        return w;
    }
    if (auto* caption = dynamic_cast<CaptionControl*>(&c)) {
        if (isFrame(c)) return new QGroupBox(this);
        auto* w = new QPushButton(this);
        w->setAutoDefault(false);
        connect(w, &QPushButton::clicked, this, [this, caption] { fire(*caption, "Click"); });
        return w;
    }
    return nullptr;
}

void FormView::refreshAll() {
    for (auto& [name, widget] : widgets_) refreshControl(*controlOf_.at(widget));
    refreshForm();
}

void FormView::refresh(const std::string& what) {
    if (what.empty()) {
        refreshForm();
        return;
    }
    if (!widgetFor(what)) return;
    if (Control* c = form_.findControl(what)) refreshControl(*c);
}

void FormView::refreshControl(Control& control) {
    QWidget* w = widgetFor(control.fullName());
    if (!w) return;
    const bool wasApplying = applyingState_;
    applyingState_ = true;
    w->setGeometry(twipsToPixelsX(control.left()), twipsToPixelsY(control.top()), twipsToPixelsX(control.width()),
                   twipsToPixelsY(control.height()));
    w->setEnabled(control.enabled());
    w->setHidden(!control.visible());
    w->setToolTip(qs(control.toolTip()));

    if (auto* bar = dynamic_cast<ProgressBar*>(&control)) {
        static_cast<QProgressBar*>(w)->setValue(bar->value());
    } else if (auto* shape = dynamic_cast<Shape*>(&control)) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, toColor(shape->fillColor(), palette().color(QPalette::Window)));
        w->setPalette(p);
    } else if (auto* image = dynamic_cast<Image*>(&control)) {
        static_cast<QLabel*>(w)->setPixmap(picture(image->picture()));
    } else if (auto* label = dynamic_cast<Label*>(&control)) {
        auto* l = static_cast<QLabel*>(w);
        l->setText(qs(label->caption()));
        if (label->backColor() != kSystemColor) {
            l->setAutoFillBackground(true);
            QPalette p = l->palette();
            p.setColor(QPalette::Window, toColor(label->backColor(), palette().color(QPalette::Window)));
            l->setPalette(p);
        } else {
            l->setAutoFillBackground(false);
        }
        if (label->fontSize() > 0) {
            QFont f = font();
            f.setPixelSize(twipsToPixelsY(label->fontSize() * 20));
            l->setFont(f);
        }
        {
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, toColor(label->foreColor(), palette().color(QPalette::WindowText)));
            l->setPalette(p);
        }
        if (auto* bold = dynamic_cast<BoldLabel*>(&control)) {
            QFont f = l->font();
            f.setBold(bold->bold());
            l->setFont(f);
        }
        l->setWordWrap(twipsToPixelsY(control.height()) >= 2 * l->fontMetrics().height());
        // A label lower than a line of text (the small clock's strip) gets
        // a face that fits it.
        const int height = twipsToPixelsY(control.height());
        if (height > 0 && height < font().pixelSize() + 4) {
            QFont f = l->font();
            f.setPixelSize(std::max(8, height - 2));
            l->setFont(f);
        }
    } else if (auto* box = dynamic_cast<CheckBox*>(&control)) {
        auto* c = static_cast<QCheckBox*>(w);
        c->setText(qs(box->caption()));
        c->setChecked(box->checked());
    } else if (auto* option = dynamic_cast<OptionButton*>(&control)) {
        auto* r = static_cast<QRadioButton*>(w);
        r->setText(qs(option->caption()));
        r->setChecked(option->value());
    } else if (auto* text = dynamic_cast<TextBox*>(&control)) {
        auto* e = static_cast<QLineEdit*>(w);
        e->setEchoMode(text->password() ? QLineEdit::Password : QLineEdit::Normal);
        if (e->text().toStdString() != text->text()) {
            const int cursor = e->cursorPosition();
            e->setText(qs(text->text()));
            e->setCursorPosition(std::min(cursor, static_cast<int>(e->text().size())));
        }
        if (text->selLength() > 0) e->setSelection(text->selStart(), text->selLength());
    } else if (auto* combo = dynamic_cast<ComboBox*>(&control)) {
        auto* c = static_cast<QComboBox*>(w);
        QStringList items;
        for (const auto& item : combo->items()) items << qs(item);
        QStringList shown;
        for (int i = 0; i < c->count(); ++i) shown << c->itemText(i);
        if (shown != items) {
            c->clear();
            c->addItems(items);
        }
        c->setCurrentIndex(combo->listIndex());
    } else if (auto* list = dynamic_cast<ListBox*>(&control)) {
        auto* l = static_cast<QListWidget*>(w);
        QStringList items;
        for (const auto& item : list->items()) items << qs(item);
        QStringList shown;
        for (int i = 0; i < l->count(); ++i) shown << l->item(i)->text();
        if (shown != items) {
            l->clear();
            l->addItems(items);
        }
        l->setCurrentRow(list->listIndex());
        if (list->listIndex() >= 0) l->scrollToItem(l->item(list->listIndex()));
    } else if (auto* caption = dynamic_cast<CaptionControl*>(&control)) {
        // An "&" marks the access key, as Qt's own mnemonics do.
        if (isFrame(control)) static_cast<QGroupBox*>(w)->setTitle(qs(caption->caption()));
        else static_cast<QPushButton*>(w)->setText(qs(caption->caption()));
    }
    applyingState_ = wasApplying;
}

void FormView::refreshForm() {
    applyingState_ = true;
    setWindowTitle(qs(form_.caption()));
    const bool wantFrameless = frameless();
    const bool wantTopMost = form_.topMost();
    if (wantFrameless != shownFrameless_ || wantTopMost != shownTopMost_) {
        const bool wasVisible = isVisible();
        setWindowFlag(Qt::FramelessWindowHint, wantFrameless);
        setWindowFlag(Qt::WindowStaysOnTopHint, wantTopMost);
        shownFrameless_ = wantFrameless;
        shownTopMost_ = wantTopMost;
        if (wasVisible) show();  // a change of flags hides the window
    }
    setFixedSize(std::max(1, twipsToPixelsX(form_.width())), std::max(1, twipsToPixelsY(form_.height())));
    if (!placed_ || form_.left() != shownLeft_ || form_.top() != shownTop_) {
        placed_ = true;
        shownLeft_ = form_.left();
        shownTop_ = form_.top();
        move(twipsToPixelsX(shownLeft_), twipsToPixelsY(shownTop_));
    }
    if (!form_.visible() || !form_.loaded()) {
        if (isVisible()) hide();
        applyingState_ = false;
        emit closed();
        return;
    } else {
        const bool minimized = form_.windowState() == WindowState::Minimized;
        if (minimized != isMinimized()) {
            if (minimized) showMinimized();
            else showNormal();
        } else if (!isVisible()) {
            show();
        }
        if (form_.foreground() && !minimized) {
            raise();
            activateWindow();
            form_.setForeground(false);
        }
    }
    applyingState_ = false;
}

void FormView::closeEvent(QCloseEvent* event) {
    if (detached_) return QWidget::closeEvent(event);
    if (!form_.loaded()) {
        event->accept();
        return;
    }
    send("Form.Close");
    if (form_.loaded() && form_.visible()) event->ignore();
    else event->accept();
    refreshForm();
}

void FormView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (detached_) return;
    if (event->type() != QEvent::WindowStateChange || applyingState_) return;
    // The user minimised or restored the window through the window manager.
    applyingState_ = true;
    if (isMinimized()) form_.setWindowState(WindowState::Minimized);
    else if (isMaximized()) form_.setWindowState(WindowState::Maximized);
    else form_.setWindowState(WindowState::Normal);
    applyingState_ = false;
}

void FormView::beginDrag() {
    // A Wayland compositor places the windows itself and tells no client
    // where they are: it moves the window on the program's behalf.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        if (QWindow* window = windowHandle(); window && window->startSystemMove()) return;
    }
    dragging_ = true;
    dragOffset_ = QCursor::pos() - frameGeometry().topLeft();
}

bool FormView::dragFilter(QEvent* event) {
    if (!dragging_) return false;
    auto* me = static_cast<QMouseEvent*>(event);
    if (event->type() == QEvent::MouseMove) {
        move(me->globalPosition().toPoint() - dragOffset_);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        dragging_ = false;
        // The model keeps where the window went, in twips.
        shownLeft_ = static_cast<int>(std::lround(x() * 1440.0 / logicalDpiX()));
        shownTop_ = static_cast<int>(std::lround(y() * 1440.0 / logicalDpiY()));
        form_.setLeft(shownLeft_);
        form_.setTop(shownTop_);
        return true;
    }
    return false;
}

void FormView::mousePressEvent(QMouseEvent* event) {
    if (detached_) return QWidget::mousePressEvent(event);
    // Only a press on the bare surface belongs to the form.
    if (childAt(event->position().toPoint())) return QWidget::mousePressEvent(event);
    send("Form.MouseDown", buttonOf(event->button()));
}

void FormView::mouseMoveEvent(QMouseEvent* event) {
    if (detached_) return QWidget::mouseMoveEvent(event);
    if (!dragFilter(event)) QWidget::mouseMoveEvent(event);
}

void FormView::mouseReleaseEvent(QMouseEvent* event) {
    if (detached_) return QWidget::mouseReleaseEvent(event);
    if (dragFilter(event)) return;
    if (childAt(event->position().toPoint())) return QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        send("Form.Click");
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
    if (detached_) return QWidget::eventFilter(watched, event);
    auto it = controlOf_.find(watched);
    if (it == controlOf_.end()) return QWidget::eventFilter(watched, event);
    Control& c = *it->second;
    auto* w = static_cast<QWidget*>(watched);
    const auto type = event->type();
    if ((type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) && dragFilter(event)) return true;
    if (!c.enabled()) return QWidget::eventFilter(watched, event);

    if (auto* text = dynamic_cast<TextBox*>(&c)) {
        if (type == QEvent::FocusOut) {
            // Only a move to another control leaves the box; the window
            // losing the keyboard to another program or a menu does not.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) fire(*text, "LostFocus");
        } else if (type == QEvent::MouseButtonRelease) {
            fire(*text, "Click");
        } else if (type == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            std::int16_t key = 0;
            const bool shortcut = ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
            if (ke->key() == Qt::Key_Backspace) key = 8;
            else if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) key = 13;
            else if (!shortcut && ke->text().size() == 1 && ke->text().at(0).unicode() >= 32 &&
                     ke->text().at(0).unicode() < 127)
                key = static_cast<std::int16_t>(ke->text().at(0).unicode());
            if (key != 0) {
                observe(c.fullName() + ".KeyPress");
                if (form_.keyPress(c.fullName(), key) == 0) return true;  // dropped
            }
        }
        return QWidget::eventFilter(watched, event);
    }

    // Labels and pictures.
    if (type == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        fire(c, "MouseDown", buttonOf(me->button()));
        return true;
    }
    if (type == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && w->rect().contains(me->position().toPoint())) fire(c, "Click");
        return true;
    }
    if (type == QEvent::MouseButtonDblClick) {
        fire(c, "DblClick");
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace nocturo::ui
