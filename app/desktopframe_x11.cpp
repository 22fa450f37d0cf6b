// The frame a reparenting window manager drew around a window, read from the X server on Qt's own
// connection: Qt may know no frame at all there, and keep the position it asked for rather than
// the one the manager gave.
#include "settings/windowplace.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T> using TReply = std::unique_ptr<T, decltype(&std::free)>;

} // namespace

std::optional<TDesktopFrame> DesktopFrameOf(const QWidget* window) {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !window->isVisible() || !window->testAttribute(Qt::WA_WState_Created)) return {};
    const auto id = static_cast<xcb_window_t>(window->winId());
    const TReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr), &std::free);
    if (!geometry) return {};
    const TReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, id, geometry->root, 0, 0), nullptr),
        &std::free);
    const char* name = "_NET_FRAME_EXTENTS";
    const TReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    if (!origin || !atom || atom->atom == XCB_ATOM_NONE) return {};
    const TReply<xcb_get_property_reply_t> extents(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, id, atom->atom, XCB_ATOM_CARDINAL, 0, 4), nullptr),
        &std::free);
    if (!extents || xcb_get_property_value_length(extents.get()) != 16) return {};
    const auto* e = static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));
    // The server counts device pixels; Qt places windows in its own.
    const qreal ratio = window->devicePixelRatioF();
    const auto logical = [ratio](int pixels) { return qRound(pixels / ratio); };
    const QMargins margins(logical(int(e[0])), logical(int(e[2])), logical(int(e[1])), logical(int(e[3])));
    const QRect inner(logical(origin->dst_x), logical(origin->dst_y), logical(geometry->width),
                      logical(geometry->height));
    return TDesktopFrame{inner.marginsAdded(margins), margins};
}
