// The X11 half of the launch feedback, on the connection Qt already holds: the startup-notification
// messages go to the root window, and the activation request carries the launch's own time, so a
// window manager that guards against focus stealing lets the window come to the front.
#include "app/launchfeedback.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window) {
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> reply(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr), &std::free);
    return reply ? reply->root : xcb_window_t{XCB_WINDOW_NONE};
}

void SendToRoot(xcb_connection_t* connection, xcb_window_t root, std::uint32_t mask,
                const xcb_client_message_event_t& event) {
    xcb_send_event(connection, 0, root, mask, reinterpret_cast<const char*>(&event));
}

// The message and its closing zero byte, 20 bytes to an event: the first of type
// _NET_STARTUP_INFO_BEGIN, the rest _NET_STARTUP_INFO. The sender's own window keeps the pieces
// apart from other senders' messages.
void SendStartupMessage(xcb_connection_t* connection, xcb_window_t root, xcb_window_t sender,
                        const std::string& message) {
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    const std::string bytes = message + '\0';
    constexpr std::size_t Piece = sizeof(xcb_client_message_data_t::data8);
    for (std::size_t sent = 0; sent < bytes.size(); sent += Piece) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = sender;
        event.type = sent == 0 ? begin : more;
        std::memcpy(event.data.data8, bytes.data() + sent, std::min(Piece, bytes.size() - sent));
        SendToRoot(connection, root, XCB_EVENT_MASK_PROPERTY_CHANGE, event);
    }
}

// _NET_ACTIVE_WINDOW from an application (source 1) at the time of the user's launch.
void RequestActivation(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window,
                       std::uint32_t time) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1;
    event.data.data32[1] = time;
    SendToRoot(connection, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
               event);
}

} // namespace

void CompleteX11Launch(QWidget* window, const std::string& startupId) {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return;
    const auto own = static_cast<xcb_window_t>(window->window()->winId());
    const xcb_window_t root = RootOf(connection, own);
    if (root == XCB_WINDOW_NONE) return;
    if (const std::uint32_t time = StartupIdTime(startupId); time != 0 && window->isVisible())
        RequestActivation(connection, root, own, time);
    SendStartupMessage(connection, root, own, StartupRemoveMessage(startupId));
    xcb_flush(connection);
}
