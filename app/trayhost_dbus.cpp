// A StatusNotifierItem host sits behind the watcher service on the session bus; a restarted watcher
// has a new unique name there (those are never reused). An XEmbed tray cannot be told this way: a
// restarted tray may own its selection through the very same window id. Qt embeds the icon into a
// new XEmbed tray by itself, so that icon stays a way back.
#include "app/trayhost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

std::string TrayHostIdentity() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return {};
    const QDBusReply<QString> owner =
        bus.interface()->serviceOwner(QStringLiteral("org.kde.StatusNotifierWatcher"));
    return owner.isValid() ? owner.value().toStdString() : std::string();
}
