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
//
//   kestrel-x-probe --settled
//     Waits until nothing has been drawn on the screen for 250 ms (as the DAMAGE extension reports) and
//     exits 0; exits 1 when the screen is still changing after 20 s.
//
//   kestrel-x-probe --maps
//     Prints "watching", then "map NS" for each top-level window (a child of the root window that is not
//     override-redirect) that maps, NS the wall-clock time (CLOCK_REALTIME, nanoseconds) it received the
//     MapNotify; runs until terminated. A window manager's frame is such a window.
//
//   kestrel-x-probe --floor
//     The floor that a launcher's show is measured against: a bare 600x400 window, centred on the screen,
//     that Ctrl+Space (grabbed) maps and unmaps, with no toolkit behind it. It fills itself with one
//     colour on each Expose, fills one more small square for each key typed into it, and unmaps on
//     Escape. It names its process in _NET_WM_PID, as the launcher does, and runs until terminated.
#include <poll.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

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

/// The first keycode whose first keysym column holds `keysym`.
xcb_keycode_t keycodeOf(xcb_connection_t* c, xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> map(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (!map)
        fail("cannot read the keyboard mapping");
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    for (int i = 0; i < count; ++i) {
        if (syms[i * map->keysyms_per_keycode] == keysym)
            return static_cast<xcb_keycode_t>(setup->min_keycode + i);
    }
    fail("no keycode for a key the probe needs");
}

bool ctrlSpaceTaken(xcb_connection_t* c, xcb_window_t root)
{
    const xcb_keycode_t space = keycodeOf(c, 0x0020);
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

/// Whether 250 ms pass without drawing on the screen within 20 s.
bool screenSettles(xcb_connection_t* c, xcb_screen_t* screen)
{
    using Clock = std::chrono::steady_clock;
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present)
        fail("the X server has no DAMAGE extension");
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    const auto damageNotify = static_cast<std::uint8_t>(damage->first_event + XCB_DAMAGE_NOTIFY);
    xcb_damage_create(c, xcb_generate_id(c), screen->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    xcb_flush(c);
    const auto giveUp = Clock::now() + std::chrono::seconds(20);
    auto quietFrom = Clock::now();
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (Clock::now() - quietFrom < std::chrono::milliseconds(250)) {
        if (Clock::now() > giveUp)
            return false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == damageNotify) {
                quietFrom = Clock::now();
                // Non-empty reports come once until the damage is cleared; clear it to hear of the next.
                const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event);
                xcb_damage_subtract(c, notify->damage, XCB_NONE, XCB_NONE);
                xcb_flush(c);
            }
            std::free(event);
        }
        ::poll(&fd, 1, 10);
    }
    return true;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

[[noreturn]] void runFloor(xcb_connection_t* c, xcb_screen_t* screen)
{
    constexpr std::uint16_t width = 600;
    constexpr std::uint16_t height = 400;
    const xcb_keycode_t space = keycodeOf(c, 0x0020);
    const xcb_keycode_t escape = keycodeOf(c, 0xff1b);
    xcb_grab_key(c, 1, screen->root, XCB_MOD_MASK_CONTROL, space, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);

    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_KEY_PRESS
                                                             | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    const auto x = static_cast<std::int16_t>((screen->width_in_pixels - width) / 2);
    const auto y = static_cast<std::int16_t>((screen->height_in_pixels - height) / 2);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, x, y, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      values);
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 11, "bare window");
    const xcb_gcontext_t fill = xcb_generate_id(c);
    const std::uint32_t colour = 0x3366cc;
    xcb_create_gc(c, fill, window, XCB_GC_FOREGROUND, &colour);
    xcb_flush(c);

    bool mapped = false;
    int typed = 0;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const auto type = static_cast<std::uint8_t>(event->response_type & 0x7f);
        if (type == XCB_KEY_PRESS) {
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            if (key->detail == space && key->event == screen->root) {
                mapped = !mapped;
                if (mapped) {
                    const std::uint32_t at[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
                    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, at);
                    xcb_map_window(c, window);
                } else {
                    xcb_unmap_window(c, window);
                }
            } else if (key->detail == escape) {
                mapped = false;
                xcb_unmap_window(c, window);
            } else {
                const xcb_rectangle_t square{static_cast<std::int16_t>(10 + 12 * (typed++ % 40)), 10, 10, 10};
                xcb_poly_fill_rectangle(c, window, fill, 1, &square);
            }
        } else if (type == XCB_EXPOSE) {
            const xcb_rectangle_t all{0, 0, width, height};
            xcb_poly_fill_rectangle(c, window, fill, 1, &all);
        }
        std::free(event);
        xcb_flush(c);
    }
    fail("the X connection broke");
}

[[noreturn]] void printMaps(xcb_connection_t* c, xcb_window_t root)
{
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (xcb_generic_error_t* error =
            xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask))) {
        std::free(error);
        fail("cannot watch the root window");
    }
    std::printf("watching\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && !map->override_redirect) {
            std::printf("map %lld\n",
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
            std::fflush(stdout);
        }
        std::free(event);
    }
    fail("the X connection broke");
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "--hotkey" && mode != "--window-manager" && mode != "--settled" && mode != "--floor"
        && mode != "--maps")
        fail("usage: kestrel-x-probe --hotkey | --window-manager | --settled | --floor | --maps");
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        fail("cannot connect to the X server");
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (mode == "--floor")
        runFloor(c, screen);
    if (mode == "--maps")
        printMaps(c, screen->root);
    const bool yes = mode == "--hotkey"           ? ctrlSpaceTaken(c, screen->root)
                     : mode == "--window-manager" ? windowManagerFrames(c, screen)
                                                  : screenSettles(c, screen);
    xcb_disconnect(c);
    return yes ? 0 : 1;
}
