// Watches the X server's root window for startup-notification messages and prints each one whole,
// with the milliseconds since the watch began: "<ms> <message>". Prints "ready" once it listens.
// Ends with 0 after the given number of "remove:" messages, or with 1 when the bound (ms) passes.
//   startupwatch <removes> <bound-ms>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <poll.h>
#include <string>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: startupwatch <removes> <bound-ms>\n");
        return 2;
    }
    const int wanted = std::atoi(argv[1]);
    const long long bound = std::atoll(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> owned(
        xcb_connect(nullptr, &screenNumber), &xcb_disconnect);
    xcb_connection_t* connection = owned.get();
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "startupwatch: no X display\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    // The messages are sent to the root window with the property-change mask.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    xcb_flush(connection);
    std::printf("ready\n");
    std::fflush(stdout);

    std::map<xcb_window_t, std::string> partial; // pieces by sender window
    int removes = 0;
    while (removes < wanted) {
        const long long left = bound - MsSince(start);
        if (left <= 0) return 1;
        pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left) + 1);
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            const bool startup = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                                 message->format == 8 && (message->type == begin || message->type == more);
            if (startup) {
                std::string& text = partial[message->window];
                if (message->type == begin) text.clear();
                const char* bytes = reinterpret_cast<const char*>(message->data.data8);
                const std::size_t length = strnlen(bytes, sizeof message->data.data8);
                text.append(bytes, length);
                if (length < sizeof message->data.data8) { // the closing zero byte: the message is whole
                    std::printf("%lld %s\n", MsSince(start), text.c_str());
                    std::fflush(stdout);
                    if (text.rfind("remove:", 0) == 0) ++removes;
                    partial.erase(message->window);
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection)) return 1;
    }
    return 0;
}
