#include "app/launchfeedback.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <cstdlib>

void CompleteLaunch(QWidget* window, const TLaunchId& launch) {
    if (!window || launch.Empty()) return;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        if (!launch.StartupId.empty()) CompleteX11Launch(window, launch.StartupId);
        return;
    }
    if (!platform.startsWith(QLatin1String("wayland")) || !window->windowHandle()) return;
    // The Wayland plugin activates with the token it finds in the environment, and takes it out.
    qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(WaylandActivationToken(launch)));
    window->windowHandle()->requestActivate();
    // Where the plugin did not take it, it must not reach the programs this one starts.
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

std::string WaylandActivationToken(const TLaunchId& launch) {
    return launch.ActivationToken.empty() ? launch.StartupId : launch.ActivationToken;
}

std::uint32_t StartupIdTime(const std::string& startupId) {
    const auto at = startupId.rfind("_TIME");
    if (at == std::string::npos) return 0;
    const std::string digits = startupId.substr(at + 5);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
}

std::string StartupRemoveMessage(const std::string& startupId) {
    // A value with a blank, a quote or a backslash is quoted, its quotes and backslashes escaped.
    if (startupId.find_first_of(" \"\\") == std::string::npos) return "remove: ID=" + startupId;
    std::string quoted = "\"";
    for (const char c : startupId) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return "remove: ID=" + quoted + "\"";
}

#ifndef WAVESMITH_HAVE_XCB
void CompleteX11Launch(QWidget*, const std::string&) {}
#endif
