#include "tests/support/fakexembedtray.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
xcb_atom_t Atom(xcb_connection_t* connection, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    free(reply);
    return atom;
}
} // namespace

TFakeXEmbedTray::TFakeXEmbedTray() {
    FConnection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(FConnection)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
    const xcb_window_t window = xcb_generate_id(FConnection);
    xcb_create_window(FConnection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 24, 24, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const xcb_atom_t selection = Atom(FConnection, "_NET_SYSTEM_TRAY_S0");
    FOpcode = Atom(FConnection, "_NET_SYSTEM_TRAY_OPCODE");
    xcb_set_selection_owner(FConnection, window, selection, XCB_CURRENT_TIME);
    // The announcement that trackers of the tray wait for.
    xcb_client_message_event_t manager;
    std::memset(&manager, 0, sizeof manager);
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = screen->root;
    manager.type = Atom(FConnection, "MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = window;
    xcb_send_event(FConnection, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    xcb_flush(FConnection);
    FWindow = window;
    FNotifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(FConnection), QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { ReadEvents(); });
}

TFakeXEmbedTray::~TFakeXEmbedTray() {
    FNotifier.reset();
    xcb_disconnect(FConnection);
}

void TFakeXEmbedTray::ReadEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(FConnection)) {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        // SYSTEM_TRAY_REQUEST_DOCK (opcode 0) names the icon's window.
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == FOpcode &&
            message->data.data32[1] == 0) {
            ++DockRequests;
            const xcb_window_t icon = message->data.data32[2];
            if (Embeds) {
                xcb_reparent_window(FConnection, icon, FWindow, 0, 0);
                xcb_map_window(FConnection, icon);
                xcb_flush(FConnection);
            }
        }
        free(event);
    }
}
