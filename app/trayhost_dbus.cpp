// A StatusNotifierItem host sits behind the watcher service on the session bus; a restarted watcher
// has a new unique name there (those are never reused). An XEmbed tray cannot be told this way: a
// restarted tray may own its selection through the very same window id. Qt embeds the icon into a
// new XEmbed tray by itself, so that icon stays a way back.
#include "app/trayhost.h"

#include "app/traybus.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#ifdef WAVESMITH_HAVE_XCB
#include <xcb/xcb.h>

#include <string>
#endif

#include <optional>

namespace {

std::optional<QDBusConnection> BusOverride;

#ifdef WAVESMITH_HAVE_XCB
// An XEmbed tray owns the selection "_NET_SYSTEM_TRAY_S<screen>" on one of the display's screens.
bool XEmbedTrayPresent() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return false;
    const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
    for (int screen = 0; screen < screens; ++screen) {
        const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()),
            nullptr);
        if (!atom) continue;
        const xcb_atom_t selection = atom->atom;
        free(atom);
        if (selection == XCB_ATOM_NONE) continue;
        xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, selection), nullptr);
        const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
        free(owner);
        if (owned) return true;
    }
    return false;
}

// Qt's XEmbed icon is a top-level widget of its own class; a process has at most one while its
// icon shows.
bool XEmbedIconEmbeddedIn(xcb_connection_t* connection) {
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->inherits("QSystemTrayIconSys") || !widget->testAttribute(Qt::WA_WState_Created))
            continue;
        const auto window = static_cast<xcb_window_t>(widget->winId());
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        // A window that is gone (its tray ended without giving it back) is in no tray.
        const bool embedded = tree && tree->parent != tree->root && tree->parent != XCB_WINDOW_NONE;
        free(tree);
        return embedded;
    }
    return false;
}
#else
bool XEmbedTrayPresent() {
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           QSystemTrayIcon::isSystemTrayAvailable();
}
#endif

} // namespace

QDBusConnection TrayBus() {
    return BusOverride ? *BusOverride : QDBusConnection::sessionBus();
}

void UseTrayBus(const std::string& address) {
    if (address.empty()) {
        BusOverride.reset();
        return;
    }
    BusOverride =
        QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("wavesmith-tray"));
}

QVariant WatcherProperty(const QString& name) {
    const QDBusConnection bus = TrayBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(WatcherService))
        return {};
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << WatcherService << name;
    const QDBusMessage reply = bus.call(get, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

std::string TrayHostIdentity() {
    const QDBusConnection bus = TrayBus();
    if (!bus.isConnected() || !bus.interface()) return {};
    const QDBusReply<QString> owner = bus.interface()->serviceOwner(WatcherService);
    return owner.isValid() ? owner.value().toStdString() : std::string();
}

bool StatusNotifierHostPresent() {
    // The watcher alone shows nothing: a host must have registered with it.
    return WatcherProperty(QStringLiteral("IsStatusNotifierHostRegistered")).toBool();
}

std::optional<bool> XEmbedIconEmbedded() {
#ifdef WAVESMITH_HAVE_XCB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 && x11->connection()) return XEmbedIconEmbeddedIn(x11->connection());
#endif
    return std::nullopt;
}

bool TrayHostPresent() {
    return StatusNotifierHostPresent() || XEmbedTrayPresent();
}
