// A stand-in for "another X client" in the end-to-end tests.
//
//   kestrel-e2e-x-client [--grab-ctrl-space] [--window]
//     --grab-ctrl-space  grabs Ctrl+Space on the root window (with every CapsLock/NumLock combination), as
//                        a rival hot-key program would; prints "grabbed" (or "refused" and exits 3 when
//                        another client holds it) and then "hotkey" for every Ctrl+Space press it receives.
//     --window           maps an ordinary 400x300 window titled "kestrel-e2e-other-client", gives it the
//                        input focus and prints "window 0x<id>"; then "key 0x<keysym>" for every key press.
//     Runs until it is killed; every line is flushed at once so the test can read it meanwhile.
//
//   kestrel-e2e-x-client --probe-hotkey
//     Tells whether some client holds Ctrl+Space, without disturbing a client that is just taking it: with
//     the server grabbed it tries the grab itself and releases it at once. Prints "taken" and exits 0, or
//     prints "free" and exits 1.
//
//   kestrel-e2e-x-client --probe-window-manager
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
#include <vector>

namespace {

constexpr xcb_keysym_t kSpace = 0x0020;
constexpr xcb_keysym_t kNumLock = 0xff7f;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

[[noreturn]] void fail(const char* message)
{
    std::fprintf(stderr, "kestrel-e2e-x-client: %s\n", message);
    std::exit(2);
}

/// Every keycode whose first keysym column holds `keysym`.
std::vector<xcb_keycode_t> keycodesFor(xcb_connection_t* c, xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> map(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (!map)
        fail("cannot read the keyboard mapping");
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    std::vector<xcb_keycode_t> codes;
    for (int i = 0; i < count; ++i) {
        if (syms[i * map->keysyms_per_keycode] == keysym)
            codes.push_back(static_cast<xcb_keycode_t>(setup->min_keycode + i));
    }
    return codes;
}

/// The first keysym of `keycode` (0 when it has none).
xcb_keysym_t keysymOf(xcb_connection_t* c, xcb_keycode_t keycode)
{
    Reply<xcb_get_keyboard_mapping_reply_t> map(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, keycode, 1), nullptr));
    if (!map || map->keysyms_per_keycode == 0)
        return 0;
    return xcb_get_keyboard_mapping_keysyms(map.get())[0];
}

/// The modifier mask (Mod1..Mod5) that carries NumLock, or 0 when none does.
std::uint16_t numLockMask(xcb_connection_t* c)
{
    const std::vector<xcb_keycode_t> numLock = keycodesFor(c, kNumLock);
    Reply<xcb_get_modifier_mapping_reply_t> mods(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!mods || numLock.empty())
        return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
    for (int mod = 0; mod < 8; ++mod) {
        for (int k = 0; k < mods->keycodes_per_modifier; ++k) {
            const xcb_keycode_t code = codes[mod * mods->keycodes_per_modifier + k];
            for (xcb_keycode_t n : numLock) {
                if (code != 0 && code == n)
                    return static_cast<std::uint16_t>(1u << mod);
            }
        }
    }
    return 0;
}

bool probeCtrlSpace(xcb_connection_t* c, xcb_window_t root)
{
    const std::vector<xcb_keycode_t> spaces = keycodesFor(c, kSpace);
    if (spaces.empty())
        fail("no keycode for space");
    // why: while the server is grabbed no other client's request runs, so a launcher that grabs the key
    // during the probe is served before or after it, never refused because of it.
    xcb_grab_server(c);
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, XCB_MOD_MASK_CONTROL, spaces.front(), XCB_GRAB_MODE_ASYNC,
                                XCB_GRAB_MODE_ASYNC));
    const bool taken = error != nullptr;
    std::free(error);
    if (!taken)
        xcb_ungrab_key(c, spaces.front(), root, XCB_MOD_MASK_CONTROL);
    xcb_ungrab_server(c);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return taken;
}

bool grabCtrlSpace(xcb_connection_t* c, xcb_window_t root)
{
    const std::vector<xcb_keycode_t> spaces = keycodesFor(c, kSpace);
    if (spaces.empty())
        fail("no keycode for space");
    const std::uint16_t numLock = numLockMask(c);
    std::vector<std::uint16_t> locks = {0, XCB_MOD_MASK_LOCK};
    if (numLock != 0) {
        locks.push_back(numLock);
        locks.push_back(static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK));
    }
    bool all = true;
    for (std::uint16_t lock : locks) {
        const auto mods = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | lock);
        xcb_generic_error_t* error = xcb_request_check(
            c, xcb_grab_key_checked(c, 1, root, mods, spaces.front(), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (error) {
            all = false;
            std::free(error);
        }
    }
    return all;
}

/// The next event, or null when `timeoutMs` pass first.
xcb_generic_event_t* nextEvent(xcb_connection_t* c, int timeoutMs)
{
    if (xcb_generic_event_t* event = xcb_poll_for_event(c))
        return event;
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0)
        return nullptr;
    return xcb_poll_for_event(c);
}

/// Creates and maps a 400x300 window titled `title`, retrying until the window manager has taken it
/// (reparented into a frame and mapped). A window manager that is still starting can lose a map request.
xcb_window_t mapManagedWindow(xcb_connection_t* c, xcb_screen_t* screen, const char* title)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const xcb_window_t window = xcb_generate_id(c);
        const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS |
                                                                 XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                                                 XCB_EVENT_MASK_FOCUS_CHANGE};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 40, 40, 400, 300, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                          values);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(std::strlen(title)), title);
        xcb_map_window(c, window);
        xcb_flush(c);
        bool mapped = false;
        while (xcb_generic_event_t* event = nextEvent(c, 500)) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY && map->window == window;
            std::free(event);
            if (mapped)
                break;
        }
        if (mapped) {
            Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
            if (tree && tree->parent != screen->root)
                return window;
        }
        xcb_destroy_window(c, window);
        xcb_flush(c);
        ::usleep(100000);
    }
    fail("the window manager never took the window");
}

xcb_window_t mapFocusedWindow(xcb_connection_t* c, xcb_screen_t* screen)
{
    const xcb_window_t window = mapManagedWindow(c, screen, "kestrel-e2e-other-client");
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(c);
    return window;
}

} // namespace

int main(int argc, char** argv)
{
    bool grab = false;
    bool window = false;
    bool probe = false;
    bool probeWindowManager = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--grab-ctrl-space") == 0)
            grab = true;
        else if (std::strcmp(argv[i], "--window") == 0)
            window = true;
        else if (std::strcmp(argv[i], "--probe-hotkey") == 0)
            probe = true;
        else if (std::strcmp(argv[i], "--probe-window-manager") == 0)
            probeWindowManager = true;
        else
            fail("usage: kestrel-e2e-x-client [--grab-ctrl-space] [--window] | --probe-hotkey | --probe-window-manager");
    }

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        fail("cannot connect to the X server");
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;

    if (probeWindowManager) {
        mapManagedWindow(c, screen, "kestrel-e2e-probe");
        xcb_disconnect(c);
        return 0;
    }
    if (probe) {
        const bool taken = probeCtrlSpace(c, screen->root);
        std::printf(taken ? "taken\n" : "free\n");
        xcb_disconnect(c);
        return taken ? 0 : 1;
    }
    if (grab) {
        if (!grabCtrlSpace(c, screen->root)) {
            std::printf("refused\n");
            return 3;
        }
        std::printf("grabbed\n");
        std::fflush(stdout);
    }
    if (window) {
        std::printf("window 0x%x\n", mapFocusedWindow(c, screen));
        std::fflush(stdout);
    }

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            if (key->event == screen->root)
                std::printf("hotkey\n");
            else
                std::printf("key 0x%x\n", keysymOf(c, key->detail));
            std::fflush(stdout);
        }
        std::free(event);
    }
    return 0;
}
