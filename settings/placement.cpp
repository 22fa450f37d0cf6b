#include "settings/placement.h"

#include "settings/ini.h"
#include "settings/paths.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

// The placement is the window's outer position (pos(), what move() takes) and its inner size
// (size(), what resize() takes), so that a restore reproduces exactly what was saved whatever
// frame the desktop draws.

namespace {

std::string FileOr(const std::string& path) {
    return Trim(path).empty() ? SettingsFilePath() : path;
}

int ReadInt(const std::string& file, const std::string& section, const char* key, int def) {
    const long long value = Ini::ReadInteger(file, section, key, def);
    return (value < -1000000 || value > 1000000) ? def : static_cast<int>(value);
}

// The work area of the screen the saved window lay on (by its centre, else its corner), so that a
// window closed on a second monitor reopens there; the primary one when no screen holds it now.
QRect AvailableArea(const QRect& saved) {
    const QScreen* screen = QGuiApplication::screenAt(saved.center());
    if (!screen) screen = QGuiApplication::screenAt(saved.topLeft());
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

void RestoreWindowPlacement(const std::string& section, QWidget* window, const std::string& path) {
    const std::string file = FileOr(path);
    const bool maximized = Ini::ReadBool(file, section, "maximized", false);
    int x = ReadInt(file, section, "x", window->x());
    int y = ReadInt(file, section, "y", window->y());
    int height = ReadInt(file, section, "height", window->height());
    int width = ReadInt(file, section, "width", window->width());

    const QRect screen = AvailableArea(QRect(x, y, width, height));
    if (!screen.isEmpty()) {
        if (screen.width() < width) width = screen.width();
        if (screen.height() < height) height = screen.height();
        if (screen.x() + screen.width() < x + width) x = screen.x() + screen.width() - width;
        if (screen.y() + screen.height() < y + height) y = screen.y() + screen.height() - height;
        if (x < screen.x()) x = screen.x();
        if (y < screen.y()) y = screen.y();
    }
    window->move(x, y);
    window->resize(width, height);
    const Qt::WindowStates state = window->windowState();
    window->setWindowState(maximized ? (state | Qt::WindowMaximized) : (state & ~Qt::WindowMaximized));
}

void SaveWindowPlacement(const std::string& section, QWidget* window, const std::string& path) {
    const std::string file = FileOr(path);
    const bool maximized = window->isMaximized();
    std::vector<Ini::TValue> values;
    // A maximized window's own rectangle is not its normal one: the file keeps the last normal
    // rectangle instead. A minimized window keeps its normal rectangle, so that one is written.
    if (!maximized) {
        values.push_back({section, "x", std::to_string(window->x())});
        values.push_back({section, "y", std::to_string(window->y())});
        values.push_back({section, "height", std::to_string(window->height())});
        values.push_back({section, "width", std::to_string(window->width())});
    }
    values.push_back({section, "maximized", maximized ? "1" : "0"});
    Ini::WriteValues(file, values); // one rewrite of the file for all of them
}
