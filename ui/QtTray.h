#pragma once
// The notification area on Qt Widgets: the program's icon is a
// QSystemTrayIcon, its menu a QMenu popped up at the mouse. Needs a
// QApplication.
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>
#include <string>
#include <vector>

#include "platform/ITray.h"

class QMenu;

namespace nocturo::ui {

class QtTray : public QObject, public platform::ITray {
    Q_OBJECT

public:
    // How the desktop reports clicks on the icon. An X11 system tray sends a
    // click and a double click; a StatusNotifierItem host sends "activate"
    // for a left click and has no double click: there the click is reported
    // as Select, which brings the window back and starts nothing.
    enum class Host { Detect, SystemTray, StatusNotifier };
    explicit QtTray(QObject* parent = nullptr, Host host = Host::Detect);
    ~QtTray() override;
    QtTray(const QtTray&) = delete;
    QtTray& operator=(const QtTray&) = delete;

    bool available() override;
    // Throws platform::Error when the desktop has no notification area.
    void addIcon(const std::string& icon, const std::string& tip) override;
    void modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) override;
    void deleteIcon() override;
    // Runs the menu at QCursor::pos() until the user chooses or closes it.
    int popupMenu(const std::vector<platform::TrayMenuItem>& items) override;
    void setMouseHandler(MouseHandler handler) override { handler_ = std::move(handler); }

    // The menu for these items as popupMenu shows it: visible items in
    // order, separators as lines, the default item bold and the menu's
    // default action; each action's data is its item's index.
    static std::unique_ptr<QMenu> buildMenu(const std::vector<platform::TrayMenuItem>& items);
    // One of the program's pictures as an icon ("stop"); null if unknown.
    static QIcon picture(const std::string& name);

    QSystemTrayIcon& trayIcon() { return icon_; }
    bool statusNotifierHost() const { return statusNotifier_; }
    // The mouse messages (platform::wm) a click reported by Qt stands for.
    static std::vector<int> messagesFor(QSystemTrayIcon::ActivationReason reason, bool statusNotifier);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon icon_;
    MouseHandler handler_;
    bool statusNotifier_ = false;
};

}  // namespace nocturo::ui
