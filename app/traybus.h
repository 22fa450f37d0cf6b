#pragma once
// The bus the tray's watcher is looked for on: the session bus, or the one a test points at.
#include <QDBusConnection>
#include <QString>

QDBusConnection TrayBus();
// The watcher's well-known name and object.
inline const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
inline const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
// A property of the watcher; an invalid variant when it cannot be read.
QVariant WatcherProperty(const QString& name);
