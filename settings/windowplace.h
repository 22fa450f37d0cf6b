#pragma once
// Where the program's own windows open: on the screen that holds the main window, frame included.
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

// Where a window of outer size viewerFrame goes centred over ownerFrame (halves truncated).
QPoint CentredOver(const QRect& ownerFrame, const QSize& viewerFrame);
// The frame moved, and shrunk where it is larger, so that it lies wholly inside area.
QRect FitInside(QRect frame, const QRect& area);
// The frame the desktop draws around window: its own once shown, else the one it draws around
// owner (the main window), none for a window without a border.
QMargins FrameMargins(const QWidget* window, const QWidget* owner);
// A shown window's frame and frame widths as the desktop drew them, where the platform tells
// (X11); none elsewhere.
struct TDesktopFrame {
    QRect Frame;
    QMargins Margins;
};
std::optional<TDesktopFrame> DesktopFrameOf(const QWidget* window);
// Centres window over owner by their outer sizes and keeps its frame on owner's screen.
void PlaceOverOwner(QWidget* window, const QWidget* owner);
// Once the desktop has framed window, moves and shrinks it so that its frame lies inside its
// screen's work area; false while the frame is not known yet (or the window is maximized).
bool FitFrameToScreen(QWidget* window);
