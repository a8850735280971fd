#include "ui/QtDialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <vector>

namespace nocturo::ui {

namespace mb = platform::mb;

namespace {

// The busy pointer, if the program shows one, gives way to the normal one
// while a box waits for the user, and comes back after it.
class NormalPointer {
public:
    NormalPointer() {
        while (QGuiApplication::overrideCursor()) {
            saved_.push_back(*QGuiApplication::overrideCursor());
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ~NormalPointer() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) QGuiApplication::setOverrideCursor(*it);
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    std::vector<QCursor> saved_;
};

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The text of a box as written, never read as markup; "\r\n" breaks a line as "\n" does.
QString boxText(const std::string& text) {
    QString result = fromUtf8(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

std::string toUtf8(const QString& text) { return text.toUtf8().toStdString(); }

struct BoxButton {
    QMessageBox::StandardButton button;
    int answer;
};

// The buttons of each set in the classic order (left to right, tab order).
std::vector<BoxButton> buttonSet(int style) {
    switch (style & 7) {
        case mb::OkCancel:
            return {{QMessageBox::Ok, mb::IdOk}, {QMessageBox::Cancel, mb::IdCancel}};
        case mb::AbortRetryIgnore:
            return {{QMessageBox::Abort, mb::IdAbort}, {QMessageBox::Retry, mb::IdRetry}, {QMessageBox::Ignore, mb::IdIgnore}};
        case mb::YesNoCancel:
            return {{QMessageBox::Yes, mb::IdYes}, {QMessageBox::No, mb::IdNo}, {QMessageBox::Cancel, mb::IdCancel}};
        case mb::YesNo:
            return {{QMessageBox::Yes, mb::IdYes}, {QMessageBox::No, mb::IdNo}};
        case mb::RetryCancel:
            return {{QMessageBox::Retry, mb::IdRetry}, {QMessageBox::Cancel, mb::IdCancel}};
        default:
            return {{QMessageBox::Ok, mb::IdOk}};
    }
}

QMessageBox::Icon iconOf(int style) {
    switch (style & 0x70) {
        case mb::Critical: return QMessageBox::Critical;
        case mb::Question: return QMessageBox::Question;
        case mb::Exclamation: return QMessageBox::Warning;
        case mb::Information: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

std::size_t defaultIndexOf(int style, std::size_t buttonCount) {
    std::size_t index = 0;
    if (style & mb::DefaultButton3) {
        index = 2;
    } else if (style & mb::DefaultButton2) {
        index = 1;
    }
    return index < buttonCount ? index : 0;
}

// What a box closed without a button answers: its Cancel, else its only OK,
// else Cancel all the same (the classic box cannot be closed then).
int closedAnswer(const std::vector<BoxButton>& buttons) {
    for (const auto& b : buttons)
        if (b.answer == mb::IdCancel) return mb::IdCancel;
    if (buttons.size() == 1) return buttons.front().answer;
    return mb::IdCancel;
}

}  // namespace

QtDialogs::QtDialogs() {
    timeout_.setSingleShot(true);
    QObject::connect(&timeout_, &QTimer::timeout, &context_, [this] { onTimeout(); });
}

QtDialogs::~QtDialogs() = default;

QString QtDialogs::boxTitle(const std::string& title) {
    if (!title.empty()) return fromUtf8(title);
    return QCoreApplication::applicationName();
}

// ---- message and input boxes --------------------------------------------------

// The program's window the user is working in, else one of ours that is kept
// above all others; none when neither is on screen. A box owned by a window
// stays above it, even when that window is kept above all others.
QWidget* QtDialogs::owner() {
    QWidget* active = QApplication::activeWindow();
    if (active && active->isVisible()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowType() == Qt::Window && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return w;
    return nullptr;
}

int QtDialogs::messageBox(const std::string& prompt, int style, const std::string& title) {
    QMessageBox box(owner());
    box.setWindowTitle(boxTitle(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(boxText(prompt));
    box.setIcon(iconOf(style));

    const std::vector<BoxButton> kinds = buttonSet(style);
    std::vector<QPushButton*> buttons;
    for (const auto& kind : kinds) buttons.push_back(box.addButton(kind.button));
    // Tab walks the buttons in the classic order, whatever order the style lays them out in.
    for (std::size_t i = 1; i < buttons.size(); ++i) QWidget::setTabOrder(buttons[i - 1], buttons[i]);
    box.setDefaultButton(buttons[defaultIndexOf(style, buttons.size())]);

    box.setWindowModality(Qt::ApplicationModal);
    if (style & mb::SystemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);

    NormalPointer pointer;
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (clicked == buttons[i]) return kinds[i].answer;
    return closedAnswer(kinds);
}

std::optional<std::string> QtDialogs::inputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText) {
    return askText(prompt, title, defaultText, false);
}

std::optional<std::string> QtDialogs::askText(const std::string& prompt, const std::string& title,
                                              const std::string& defaultText, bool hidden) {
    QInputDialog dialog(owner());
    dialog.setWindowTitle(boxTitle(title));
    dialog.setLabelText(boxText(prompt));
    for (auto* label : dialog.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    dialog.setInputMode(QInputDialog::TextInput);
    if (hidden) dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setTextValue(fromUtf8(defaultText));
    dialog.setWindowModality(Qt::ApplicationModal);

    // Focus starts in the entry; Tab goes on to OK, then Cancel.
    auto* entry = dialog.findChild<QLineEdit*>();
    auto* buttonBox = dialog.findChild<QDialogButtonBox*>();
    if (entry && buttonBox) {
        QPushButton* ok = buttonBox->button(QDialogButtonBox::Ok);
        QPushButton* cancel = buttonBox->button(QDialogButtonBox::Cancel);
        if (ok && cancel) {
            QWidget::setTabOrder(entry, ok);
            QWidget::setTabOrder(ok, cancel);
        }
    }

    NormalPointer pointer;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return toUtf8(dialog.textValue());
}

// ---- folder and file choosers -------------------------------------------------

std::string QtDialogs::browseForFolder(const std::string& title, const std::string& startFolder,
                                       bool includeFiles) {
    QFileDialog::Options options;
    if (!includeFiles) options |= QFileDialog::ShowDirsOnly;
    NormalPointer pointer;
    return toUtf8(QFileDialog::getExistingDirectory(owner(), fromUtf8(title), fromUtf8(startFolder), options));
}

std::string QtDialogs::openFile(const std::string& title, const std::string& filter) {
    NormalPointer pointer;
    return toUtf8(QFileDialog::getOpenFileName(owner(), fromUtf8(title), QString(), toQtFilter(filter)));
}

QString QtDialogs::toQtFilter(const std::string& filter) {
    const QStringList parts = fromUtf8(filter).split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        // "*.txt;*.log" lists its patterns with semicolons, Qt with blanks.
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (name.isEmpty() && patterns.isEmpty()) continue;
        if (patterns.isEmpty() || name.endsWith(QLatin1Char(')'))) {
            // Qt reads the patterns from the name's closing parentheses.
            result << (name.isEmpty() ? patterns : name);
        } else if (name.isEmpty()) {
            result << patterns;
        } else {
            result << name + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
    }
    return result.join(QStringLiteral(";;"));
}

// ---- timed boxes --------------------------------------------------------------

// Each timed box stops its time-out when it closes, so a time-out left over
// from a box that was answered never presses the keys in a later box that
// happens to have the same title.
int QtDialogs::timedMessageBox(const std::string& prompt, int style, const std::string& title, int seconds) {
    const unsigned armed = armTimeout(title, seconds);
    const int answer = messageBox(prompt, style, title);
    disarm(armed);
    return answer;
}

std::optional<std::string> QtDialogs::timedInputBox(const std::string& prompt, const std::string& title,
                                                    const std::string& defaultText, int seconds) {
    const unsigned armed = armTimeout(title, seconds);
    auto entry = askText(prompt, title, defaultText, false);
    disarm(armed);
    return entry;
}

std::optional<std::string> QtDialogs::timedPasswordBox(const std::string& prompt, const std::string& title,
                                                       int seconds) {
    const unsigned armed = armTimeout(title, seconds);
    auto entry = askText(prompt, title, std::string(), true);
    disarm(armed);
    return entry;
}

unsigned QtDialogs::armTimeout(const std::string& title, int seconds) {
    if (seconds <= 0) return 0;
    // One time-out for all timed boxes: a new box takes it over.
    timedTitle_ = boxTitle(title);
    timeout_.start(std::min(seconds, INT_MAX / 1000) * 1000);
    if (++armed_ == 0) ++armed_;
    return armed_;
}

void QtDialogs::disarm(unsigned armed) {
    // A box that took the time-out over from this one keeps it.
    if (armed == 0 || armed != armed_) return;
    timeout_.stop();
    timedTitle_.clear();
}

void QtDialogs::onTimeout() {
    const QString title = timedTitle_;
    timedTitle_.clear();
    if (title.isEmpty()) return;

    // Only a standard box with that title; another window with the same
    // title is left alone. The modal one on top comes first.
    auto isTimedBox = [&title](QWidget* w) {
        return w && w->isVisible() && w->windowTitle() == title &&
               (qobject_cast<QMessageBox*>(w) || qobject_cast<QInputDialog*>(w));
    };
    QWidget* box = QApplication::activeModalWidget();
    if (!isTimedBox(box)) {
        box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (isTimedBox(w)) {
                box = w;
                break;
            }
        }
    }
    if (!box) return;  // answered in time

    box->raise();
    box->activateWindow();
    pressKey(box, Qt::Key_Tab);
    pressKey(box, Qt::Key_Tab);
    pressKey(box, Qt::Key_Return);
}

void QtDialogs::pressKey(QWidget* box, int key) {
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    if (!box->isVisible()) return;  // Enter has answered the box
    QWidget* after = box->focusWidget() ? box->focusWidget() : box;
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(after, &release);
}

}  // namespace nocturo::ui
