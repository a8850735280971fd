#include "ui/QtTray.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QPointer>

#include "platform/Error.h"
#include "platform/posix/StatusNotifier.h"

// Resource set-up lives in the global namespace; a static library's resources
// are only linked in when something asks for them.
static void initTrayPictures() { Q_INIT_RESOURCE(nocturo_pictures); }

namespace nocturo::ui {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QtTray::QtTray(QObject* parent, Host host) : QObject(parent) {
    initTrayPictures();
    statusNotifier_ = host == Host::Detect ? platform::StatusNotifierHostPresent() : host == Host::StatusNotifier;
    // The clicks are handled once the icon's own event is over: what they
    // start may take the icon away, and Qt deletes the icon's window with it.
    connect(&icon_, &QSystemTrayIcon::activated, this, &QtTray::onActivated, Qt::QueuedConnection);
}

QtTray::~QtTray() { icon_.hide(); }

QIcon QtTray::picture(const std::string& name) {
    initTrayPictures();
    if (name.empty()) return {};
    QPixmap pixmap(QStringLiteral(":/pictures/") + qs(name) + QStringLiteral(".png"));
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

bool QtTray::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTray::addIcon(const std::string& icon, const std::string& tip) {
    if (!available()) throw platform::Error(platform::err::SystemCallFailed, "no notification area on this desktop");
    icon_.setIcon(picture(icon));
    icon_.setToolTip(qs(tip));
    icon_.show();
}

void QtTray::modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) {
    if (flags & platform::nif::Icon) icon_.setIcon(picture(icon));
    if (flags & platform::nif::Tip) icon_.setToolTip(qs(tip));
}

void QtTray::deleteIcon() { icon_.hide(); }

std::unique_ptr<QMenu> QtTray::buildMenu(const std::vector<platform::TrayMenuItem>& items) {
    auto menu = std::make_unique<QMenu>();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const platform::TrayMenuItem& item = items[i];
        if (!item.visible) continue;
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        // The caption keeps its "&": Qt takes it as the access key too.
        QAction* action = menu->addAction(qs(item.caption));
        action->setData(static_cast<int>(i));
        if (item.isDefault) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
            menu->setDefaultAction(action);
        }
    }
    return menu;
}

int QtTray::popupMenu(const std::vector<platform::TrayMenuItem>& items) {
    auto menu = buildMenu(items);
    QAction* chosen = menu->exec(QCursor::pos());
    return chosen ? chosen->data().toInt() : -1;
}

void QtTray::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // Each message goes to a copy of the handler: a handler may replace or
    // clear itself while it runs, and the tray may end with it.
    QPointer<QtTray> alive(this);
    auto deliver = [&alive](int message) {
        if (!alive) return;
        MouseHandler handler = alive->handler_;
        if (handler) handler(message);
    };
    for (int message : messagesFor(reason, alive->statusNotifier_)) deliver(message);
}

std::vector<int> QtTray::messagesFor(QSystemTrayIcon::ActivationReason reason, bool statusNotifier) {
    switch (reason) {
    case QSystemTrayIcon::Context:
        return {platform::wm::RButtonDown, platform::wm::RButtonUp};
    case QSystemTrayIcon::DoubleClick:
        return {platform::wm::LButtonDblClk};
    case QSystemTrayIcon::Trigger:
        if (statusNotifier) return {platform::wm::Select};
        return {platform::wm::LButtonDown, platform::wm::LButtonUp};
    default:
        return {};
    }
}

}  // namespace nocturo::ui
