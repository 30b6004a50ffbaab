// Questions about the private X session that xdotool and xprop cannot answer without disturbing it.
//
//   kestrel-x-probe --hotkey
//     Tells whether some client holds Ctrl+Space, without disturbing a client that is just taking it: with
//     the server grabbed it tries the grab itself and releases it at once. Exits 0 when the key is taken,
//     1 when it is free.
//
//   kestrel-x-probe --window-manager
//     Maps a window and exits 0 once the window manager has framed it: the window manager is past its
//     start-up (where it can lose a map request) and handles new windows.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

[[noreturn]] void fail(const char* message)
{
    std::fprintf(stderr, "kestrel-x-probe: %s\n", message);
    std::exit(2);
}

/// The first keycode whose first keysym column holds the space keysym.
xcb_keycode_t spaceKeycode(xcb_connection_t* c)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> map(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (!map)
        fail("cannot read the keyboard mapping");
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    for (int i = 0; i < count; ++i) {
        if (syms[i * map->keysyms_per_keycode] == 0x0020)
            return static_cast<xcb_keycode_t>(setup->min_keycode + i);
    }
    fail("no keycode for space");
}

bool ctrlSpaceTaken(xcb_connection_t* c, xcb_window_t root)
{
    const xcb_keycode_t space = spaceKeycode(c);
    // why: while the server is grabbed no other client's request runs, so a launcher that grabs the key
    // during the probe is served before or after it, never refused because of it.
    xcb_grab_server(c);
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, XCB_MOD_MASK_CONTROL, space, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    const bool taken = error != nullptr;
    std::free(error);
    if (!taken)
        xcb_ungrab_key(c, space, root, XCB_MOD_MASK_CONTROL);
    xcb_ungrab_server(c);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return taken;
}

/// Whether `window` was mapped within half a second of the last event (events arriving meanwhile).
bool mappedSoon(xcb_connection_t* c, xcb_window_t window)
{
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (true) {
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            if (::poll(&fd, 1, 500) <= 0 || !(event = xcb_poll_for_event(c)))
                return false;
        }
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY && map->window == window;
        std::free(event);
        if (mapped)
            return true;
    }
}

/// Maps a small window, retrying until the window manager has taken it (reparented into a frame and
/// mapped). A window manager that is still starting can lose a map request.
bool windowManagerFrames(xcb_connection_t* c, xcb_screen_t* screen)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const xcb_window_t window = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 40, 40, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(c, window);
        xcb_flush(c);
        if (mappedSoon(c, window)) {
            Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
            if (tree && tree->parent != screen->root)
                return true;
        }
        xcb_destroy_window(c, window);
        xcb_flush(c);
        ::usleep(100000);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const bool hotkey = argc == 2 && std::strcmp(argv[1], "--hotkey") == 0;
    if (!hotkey && !(argc == 2 && std::strcmp(argv[1], "--window-manager") == 0))
        fail("usage: kestrel-x-probe --hotkey | --window-manager");
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        fail("cannot connect to the X server");
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const bool yes = hotkey ? ctrlSpaceTaken(c, screen->root) : windowManagerFrames(c, screen);
    xcb_disconnect(c);
    return yes ? 0 : 1;
}
