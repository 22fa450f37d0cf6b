#include "settings/windowplace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

QMargins MarginsOf(const QWidget* window) {
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

} // namespace

QPoint CentredOver(const QRect& ownerFrame, const QSize& viewerFrame) {
    return {ownerFrame.left() + (ownerFrame.width() - viewerFrame.width()) / 2,
            ownerFrame.top() + (ownerFrame.height() - viewerFrame.height()) / 2};
}

QRect FitInside(QRect frame, const QRect& area) {
    if (area.isEmpty()) return frame;
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
    return frame;
}

QMargins FrameMargins(const QWidget* window, const QWidget* owner) {
    if (window->windowFlags().testFlag(Qt::FramelessWindowHint)) return {};
    // Known only once the desktop has framed the window: until then the main window's frame is
    // the best guess, as the desktop frames both alike.
    const QMargins own = MarginsOf(window);
    if (window->isVisible() && !own.isNull()) return own;
    return owner ? MarginsOf(owner->window()) : QMargins();
}

#ifndef WAVESMITH_HAVE_XCB
std::optional<TDesktopFrame> DesktopFrameOf(const QWidget*) {
    return {};
}
#endif

void PlaceOverOwner(QWidget* window, const QWidget* owner) {
    const QWidget* main = owner ? owner->window() : nullptr;
    const std::optional<TDesktopFrame> desktop = main ? DesktopFrameOf(main) : std::nullopt;
    const bool framedAlike = desktop && !desktop->Margins.isNull() && MarginsOf(window).isNull();
    const QMargins margins = framedAlike ? desktop->Margins : FrameMargins(window, owner);
    const QSize outer = window->size().grownBy(margins);
    const QScreen* screen = main ? main->screen() : QGuiApplication::primaryScreen();
    const QRect ownerFrame = framedAlike ? desktop->Frame : main ? main->frameGeometry() : QRect();
    QRect frame(main ? CentredOver(ownerFrame, outer) : QPoint(), outer);
    if (screen) frame = FitInside(frame, screen->availableGeometry());
    // With a known frame, placed by its inner rectangle: that is where the desktop puts a window
    // that it has not framed yet, and the frame grows around it. With none known, the position is
    // that of the frame to come.
    if (!margins.isNull()) {
        window->setGeometry(frame.marginsRemoved(margins));
        return;
    }
    window->move(frame.topLeft());
    window->resize(frame.size());
}

bool FitFrameToScreen(QWidget* window) {
    const QMargins margins = MarginsOf(window);
    if (margins.isNull() || window->isMaximized() || window->isFullScreen()) return false;
    const QScreen* screen = window->screen();
    if (!screen) return false;
    const QRect outer = window->frameGeometry();
    const QRect fitted = FitInside(outer, screen->availableGeometry());
    if (fitted != outer) window->setGeometry(fitted.marginsRemoved(margins));
    return true;
}
