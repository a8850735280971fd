#pragma once
// The standard dialogs on Qt Widgets: message box, single-line input box,
// folder and file choosers, and the self-answering (timed) message and input
// boxes. Every dialog is modal and runs its own loop; needs a QApplication.
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <string>

#include "platform/IDialogs.h"

class QWidget;

namespace nocturo::ui {

class QtDialogs : public platform::IDialogs {
public:
    QtDialogs();
    ~QtDialogs() override;
    QtDialogs(const QtDialogs&) = delete;
    QtDialogs& operator=(const QtDialogs&) = delete;

    // style: buttons (style & 7), icon (style & 0x70), default button (256,
    // 512) and mb::SystemModal (application-modal and on top of other
    // windows). Returns the mb::Id... of the button pressed; a box closed
    // without a button answers as its Cancel (or its only OK) would.
    int messageBox(const std::string& prompt, int style, const std::string& title) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    // includeFiles shows the files of each folder too; only a folder can be chosen.
    std::string browseForFolder(const std::string& title, const std::string& startFolder,
                                bool includeFiles) override;
    std::string openFile(const std::string& title, const std::string& filter) override;

    // The boxes that answer themselves: when `seconds` pass with the box still
    // open, it gets Tab, Tab and Enter, as if the user had pressed them. On a
    // box with one or two buttons that presses the default button; with
    // three, the one two places after the default (button order wrapping).
    // On the input box the focus goes from the entry to OK to Cancel, so a
    // box left alone answers as cancelled (nullopt). One timed box at a time:
    // a second one takes over the time-out of the first. seconds <= 0 shows
    // a plain box.
    int timedMessageBox(const std::string& prompt, int style, const std::string& title, int seconds) override;
    std::optional<std::string> timedInputBox(const std::string& prompt, const std::string& title,
                                             const std::string& defaultText, int seconds) override;
    // The same box with the entry shown as dots.
    std::optional<std::string> timedPasswordBox(const std::string& prompt, const std::string& title,
                                                int seconds) override;

    // "Program Files (*.exe)|*.exe|All Files (*.*)|*.*" becomes
    // "Program Files (*.exe);;All Files (*.*)".
    static QString toQtFilter(const std::string& filter);
    // The title a box shows for `title` (the application's name when empty).
    static QString boxTitle(const std::string& title);

    // The title of the timed box still waiting for its time-out ("" when none).
    QString timedTitle() const { return timedTitle_; }

private:
    static QWidget* owner();
    std::optional<std::string> askText(const std::string& prompt, const std::string& title,
                                       const std::string& defaultText, bool hidden);
    // Arms the time-out for the box about to open; returns what disarm needs
    // to stop it when that box closes (0 when nothing was armed).
    unsigned armTimeout(const std::string& title, int seconds);
    void disarm(unsigned armed);
    void onTimeout();
    static void pressKey(QWidget* box, int key);

    QObject context_;
    QTimer timeout_;
    QString timedTitle_;
    unsigned armed_ = 0;
};

}  // namespace nocturo::ui
