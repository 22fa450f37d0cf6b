// Where the notification area's host cannot be told apart from its successor.
#include "app/trayhost.h"

#include <QSystemTrayIcon>

std::string TrayHostIdentity() {
    return {};
}

bool TrayHostPresent() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool StatusNotifierHostPresent() {
    return false;
}

void UseTrayBus(const std::string&) {}

std::optional<bool> XEmbedIconEmbedded() {
    return std::nullopt;
}
