// Measures the running launcher from outside, in one process, on an X server with a window manager
// (scripts/measure runs it on a private Xvfb with openbox). Key presses are sent with XTEST; the window
// is watched through MapNotify/UnmapNotify on the root window, and its drawing through the DAMAGE extension,
// so no other process is spawned while a figure is taken.
//
// Every figure is one line on stdout, for scripts to read:
//     figure NAME UNIT VALUE...
// with each sample of the figure (in the order taken), so a reader takes medians over any number of them.
//
// KESTREL_MEASURE_TRACE=1 also writes on stderr, for each show, the steady-clock milliseconds (the clock
// of CLOCK_MONOTONIC, comparable with the launcher's own) at which the key was sent and the window
// mapped, and every drawing inside the window until it settles: when and where.
//
//   kestrel-measure session PID SHOWS     for a launcher not yet shown: its first hot key show
//                                         (first.mapped, first.settled); SHOWS more shows, each hidden
//                                         again by the hot key (show.*); SHOWS shows each after typing
//                                         "note" into the window and hiding it with Escape
//                                         (search-show.*); keystrokes typed into the shown window
//                                         (keystroke.settled); its memory while shown (memory.rss,
//                                         memory.pss, memory.anonymous in kB). Shows are timed from
//                                         sending the key to the window's MapNotify (*.mapped) and to the
//                                         last pixel of the window settled (*.settled)
//   kestrel-measure rows PID              one hot key press; the milliseconds to the last change of the
//                                         rows' titles before they stay the same for a second (when the
//                                         rows were painted: rows.painted), then types "t" and the same
//                                         after it (rows.typed)
//   kestrel-measure soak PID CYCLES EVERY CYCLES times: the hot key, (once the window has the focus) two
//                                         typed letters, Escape; every EVERY cycles a line with the
//                                         launcher's resident and anonymous memory, open descriptors and
//                                         threads (from /proc)
//   kestrel-measure startup COMMAND...    starts COMMAND and presses Ctrl+Space as soon as the launcher
//                                         has grabbed it: the time from the start to the grab
//                                         (startup.grabbed) and to the first MapNotify of the launcher's
//                                         window (startup.mapped); stops COMMAND
//   kestrel-measure runs COUNT COMMAND... [-- OTHER...]
//                                         runs COMMAND COUNT times, each to its exit (which must be 0),
//                                         in turns with OTHER when given; the time from fork to the end of
//                                         waitpid of each run (runs.command, runs.other)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;
using Event = Owned<xcb_generic_event_t>;

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "kestrel-measure: %s\n", message.c_str());
    std::exit(2);
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class Display {
public:
    Display()
        : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c))
            fail("cannot connect to the X server");
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_control = keycodeFor(0xffe3);
        m_space = keycodeFor(0x0020);
        m_pidAtom = atom("_NET_WM_PID");
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, root(), XCB_CW_EVENT_MASK, &mask);
        watchDrawing();
        sync();
    }
    ~Display() { xcb_disconnect(m_c); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    xcb_connection_t* connection() const { return m_c; }
    xcb_window_t root() const { return m_screen->root; }
    xcb_keycode_t space() const { return m_space; }

    void key(xcb_keycode_t code, bool down)
    {
        xcb_test_fake_input(m_c, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    void pressHotKey()
    {
        key(m_control, true);
        key(m_space, true);
        key(m_space, false);
        key(m_control, false);
        xcb_flush(m_c);
    }
    /// Presses and releases the key that types `keysym` (no modifiers).
    void tap(xcb_keysym_t keysym)
    {
        const xcb_keycode_t code = keycodeFor(keysym);
        key(code, true);
        key(code, false);
        xcb_flush(m_c);
    }
    void holdHotKey()
    {
        key(m_control, true);
        key(m_space, true);
    }
    void releaseHotKey()
    {
        key(m_space, false);
        key(m_control, false);
    }

    /// The area (root coordinates) that `event` reports drawn into, or null for any other event.
    const xcb_rectangle_t* damagedArea(const xcb_generic_event_t* event) const
    {
        if ((event->response_type & 0x7f) != m_damageEvent)
            return nullptr;
        return &reinterpret_cast<const xcb_damage_notify_event_t*>(event)->area;
    }

    /// A round trip: every event the server generated before it is in the queue afterwards.
    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    /// The next event, or null once `deadline` passes.
    Event nextEvent(Clock::time_point deadline)
    {
        while (true) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(m_c))
                return Event(event);
            if (xcb_connection_has_error(m_c))
                fail("the X connection broke");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return nullptr;
            pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count() + 1, 100)));
        }
    }

    /// `window` or its descendant (a window manager's frame holds the client) that carries _NET_WM_PID
    /// equal to `pid`, or 0 when there is none.
    xcb_window_t windowOf(xcb_window_t window, pid_t pid, int depth = 0)
    {
        Owned<xcb_get_property_reply_t> property(
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (property && xcb_get_property_value_length(property.get()) == 4
            && *static_cast<std::uint32_t*>(xcb_get_property_value(property.get())) == static_cast<std::uint32_t>(pid))
            return window;
        if (depth >= 3)
            return 0;
        Owned<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
        if (!tree)
            return 0;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            if (const xcb_window_t found = windowOf(children[i], pid, depth + 1))
                return found;
        }
        return 0;
    }

    bool viewable(xcb_window_t window)
    {
        Owned<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    /// The window's rectangle in root coordinates.
    xcb_rectangle_t rootRectangle(xcb_window_t window)
    {
        Owned<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
        Owned<xcb_translate_coordinates_reply_t> at(
            xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, root(), 0, 0), nullptr));
        if (!g || !at)
            fail("the launcher's window vanished");
        return {at->dst_x, at->dst_y, g->width, g->height};
    }

    std::vector<std::uint8_t> pixels(std::int16_t x, std::int16_t y, std::uint16_t size)
    {
        return pixels(xcb_rectangle_t{x, y, size, size});
    }
    /// The pixels of `area` (root coordinates) as the server stores them.
    std::vector<std::uint8_t> pixels(xcb_rectangle_t area)
    {
        Owned<xcb_get_image_reply_t> image(xcb_get_image_reply(
            m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), area.x, area.y, area.width, area.height, ~0u),
            nullptr));
        if (!image)
            return {};
        const std::uint8_t* data = xcb_get_image_data(image.get());
        return {data, data + xcb_get_image_data_length(image.get())};
    }

    /// Maps a small window of our own and gives it the focus, so that unclaimed key presses come to us.
    xcb_window_t mapFocusedWindow()
    {
        const xcb_window_t window = xcb_generate_id(m_c);
        const std::uint32_t values[] = {XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, root(), 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          m_screen->root_visual, XCB_CW_EVENT_MASK, values);
        xcb_map_window(m_c, window);
        xcb_flush(m_c);
        const auto deadline = Clock::now() + 10s;
        while (Event event = nextEvent(deadline)) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && map->window == window)
                break;
        }
        xcb_set_input_focus(m_c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
        return window;
    }

    xcb_keycode_t keycode(xcb_keysym_t keysym) { return keycodeFor(keysym); }

private:
    /// Asks for an event for every drawing on the screen (into the root window or any window on it).
    void watchDrawing()
    {
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (!damage || !damage->present)
            fail("the X server has no DAMAGE extension");
        Owned<xcb_xfixes_query_version_reply_t> fixes(
            xcb_xfixes_query_version_reply(m_c, xcb_xfixes_query_version(m_c, 5, 0), nullptr));
        Owned<xcb_damage_query_version_reply_t> version(
            xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr));
        if (!fixes || !version)
            fail("cannot use the DAMAGE extension");
        m_damageEvent = static_cast<std::uint8_t>(damage->first_event + XCB_DAMAGE_NOTIFY);
        xcb_damage_create(m_c, xcb_generate_id(m_c), root(), XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    }

    xcb_keycode_t keycodeFor(xcb_keysym_t keysym)
    {
        const xcb_setup_t* setup = xcb_get_setup(m_c);
        const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        Owned<xcb_get_keyboard_mapping_reply_t> map(
            xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, count), nullptr));
        if (!map)
            fail("cannot read the keyboard mapping");
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        for (int i = 0; i < count; ++i) {
            if (syms[i * map->keysyms_per_keycode] == keysym)
                return static_cast<xcb_keycode_t>(setup->min_keycode + i);
        }
        fail("no keycode for a key the measurement needs");
    }
    xcb_atom_t atom(const char* name)
    {
        Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    xcb_connection_t* m_c;
    xcb_screen_t* m_screen = nullptr;
    xcb_keycode_t m_control = 0;
    xcb_keycode_t m_space = 0;
    xcb_atom_t m_pidAtom = XCB_NONE;
    std::uint8_t m_damageEvent = 0;
};

struct Shown {
    Clock::time_point at;
    xcb_window_t window;
};

/// Waits for a top-level window of `pid` to be mapped (the window manager maps a new frame for every
/// show). Returns the moment the MapNotify was read and the launcher's own window, or nothing at the
/// deadline. Identifying the window happens after the moment is taken.
std::optional<Shown> awaitShown(Display& x, pid_t pid, std::chrono::seconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Event event = x.nextEvent(deadline)) {
        const auto seen = Clock::now();
        if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
            continue;
        const auto* notify = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
        if (notify->event != x.root())
            continue;
        if (const xcb_window_t window = x.windowOf(notify->window, pid))
            return Shown{seen, window};
    }
    return std::nullopt;
}

/// Polls until `window` is no longer viewable; false at the deadline.
bool awaitHidden(Display& x, xcb_window_t window, std::chrono::seconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (!x.viewable(window))
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

bool intersects(const xcb_rectangle_t& a, const xcb_rectangle_t& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

/// Waits until nothing has been drawn inside `r` (root coordinates) for `quiet`, and returns the moment
/// of the last drawing there seen since `from` (or `from` itself when nothing was drawn): the last pixel
/// settled. Drawing is reported by the DAMAGE extension, so the probe reads no pixels while the launcher
/// draws. The quiet period stays below the text cursor's first blink (half a second after the focus).
Clock::time_point awaitSettled(Display& x, const xcb_rectangle_t& r, Clock::time_point from,
                               std::chrono::milliseconds quiet = 250ms)
{
    // KESTREL_MEASURE_TRACE=1 lists every drawing seen on stderr: when (ms after `from`) and where.
    static const bool trace = std::getenv("KESTREL_MEASURE_TRACE") != nullptr;
    Clock::time_point last = from;
    const auto giveUp = from + 5s;
    while (Event event = x.nextEvent(std::min(last + quiet, giveUp))) {
        if (const xcb_rectangle_t* area = x.damagedArea(event.get()); area && intersects(*area, r)) {
            last = Clock::now();
            if (trace)
                std::fprintf(stderr, "  drawn at %7.2f ms (%.3f): %dx%d+%d+%d\n", millisecondsBetween(from, last),
                             std::chrono::duration<double, std::milli>(last.time_since_epoch()).count(), area->width,
                             area->height, area->x, area->y);
        }
    }
    if (trace)
        std::fprintf(stderr, "settled\n");
    return last;
}

/// Drops every event already queued.
void drain(Display& x)
{
    x.sync();
    while (x.nextEvent(Clock::now())) { }
}

/// The samples of one figure.
struct Figures {
    std::vector<double> values;

    void add(double v) { values.push_back(v); }
};

/// The figure's line: "figure NAME UNIT" and each sample.
void printFigure(const char* name, const char* unit, const std::vector<double>& values)
{
    std::printf("figure %s %s", name, unit);
    for (const double value : values)
        std::printf(" %.3f", value);
    std::printf("\n");
    std::fflush(stdout);
}

/// One show by the hot key: adds the time to MapNotify and to the last pixel settled.
xcb_window_t showOnce(Display& x, pid_t pid, Figures& mapped, Figures& settled)
{
    const auto sent = Clock::now();
    x.pressHotKey();
    const std::optional<Shown> shown = awaitShown(x, pid, 30s);
    if (!shown)
        fail("the launcher's window did not appear");
    if (std::getenv("KESTREL_MEASURE_TRACE") != nullptr)
        std::fprintf(stderr, "show: key sent at %.3f, mapped at %.3f\n",
                     std::chrono::duration<double, std::milli>(sent.time_since_epoch()).count(),
                     std::chrono::duration<double, std::milli>(shown->at.time_since_epoch()).count());
    mapped.add(millisecondsBetween(sent, shown->at));
    const xcb_rectangle_t r = x.rootRectangle(shown->window);
    settled.add(millisecondsBetween(sent, awaitSettled(x, r, shown->at)));
    return shown->window;
}

void hideAgain(Display& x, xcb_window_t window)
{
    x.pressHotKey();
    if (!awaitHidden(x, window, 10s))
        fail("the hot key did not hide the window");
    std::this_thread::sleep_for(200ms);
    drain(x);
}

/// Types each key of `keys` into the shown window ('\b' is BackSpace) and adds the time from sending
/// each one to the window's last pixel settled.
void typeKeys(Display& x, xcb_window_t window, const std::string& keys, Figures& settled)
{
    const xcb_rectangle_t r = x.rootRectangle(window);
    for (const char key : keys) {
        const xcb_keycode_t code = x.keycode(key == '\b' ? 0xff08 : static_cast<xcb_keysym_t>(key));
        drain(x);
        const auto sent = Clock::now();
        x.key(code, true);
        x.key(code, false);
        xcb_flush(x.connection());
        settled.add(millisecondsBetween(sent, awaitSettled(x, r, sent)));
    }
}

struct Memory {
    long rss = 0;
    long pss = 0;
    long anonymous = 0;
};

Memory memoryOf(pid_t pid)
{
    Memory memory;
    const std::string path = "/proc/" + std::to_string(pid) + "/smaps_rollup";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        fail("cannot read " + path);
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        long value = 0;
        if (std::sscanf(line, "Rss: %ld", &value) == 1)
            memory.rss = value;
        else if (std::sscanf(line, "Pss: %ld", &value) == 1)
            memory.pss = value;
        else if (std::sscanf(line, "Anonymous: %ld", &value) == 1)
            memory.anonymous = value;
    }
    std::fclose(file);
    return memory;
}

/// Waits until the input focus is on `window`; false after `timeout`.
bool awaitFocus(Display& x, xcb_window_t window, std::chrono::seconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        Owned<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()), nullptr));
        if (focus && focus->focus == window)
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

/// Types `text` into the shown `window` once it has the focus, waits until its drawing settles, and
/// hides it with Escape: a search that narrowed the list, as people leave the launcher.
void searchAndEscape(Display& x, xcb_window_t window, const std::string& text)
{
    if (!awaitFocus(x, window, 10s))
        fail("the launcher's window did not get the focus");
    Figures unused;
    typeKeys(x, window, text, unused);
    x.tap(0xff1b); // Escape
    if (!awaitHidden(x, window, 10s))
        fail("Escape did not hide the window");
    std::this_thread::sleep_for(200ms);
    drain(x);
}

/// A launcher that has never been shown: its first show, `shows` shows after it, `shows` shows that each
/// follow a typed search, keystrokes into the shown window, and its memory while shown after 2 s of rest.
int measureSession(pid_t pid, int shows)
{
    Display x;
    Figures firstMapped;
    Figures firstSettled;
    xcb_window_t window = showOnce(x, pid, firstMapped, firstSettled);
    hideAgain(x, window);

    Figures mapped;
    Figures settled;
    for (int show = 0; show < shows; ++show) {
        window = showOnce(x, pid, mapped, settled);
        hideAgain(x, window);
    }

    // The usual show: after a search that narrowed the list (the first search is left untimed, since the
    // show before it followed no search).
    Figures unused;
    Figures searchMapped;
    Figures searchSettled;
    window = showOnce(x, pid, unused, unused);
    searchAndEscape(x, window, "note");
    for (int show = 0; show < shows; ++show) {
        window = showOnce(x, pid, searchMapped, searchSettled);
        searchAndEscape(x, window, "note");
    }

    // Narrowing, a text that matches nothing, a calculation, and each deleted again back to the
    // whole list.
    Figures typed;
    window = showOnce(x, pid, unused, unused);
    typeKeys(x, window, "amber\b\b\b\b\bzq\b\b7\bra\b\b", typed);

    std::this_thread::sleep_for(2s);
    const Memory memory = memoryOf(pid);
    hideAgain(x, window);

    printFigure("first.mapped", "ms", firstMapped.values);
    printFigure("first.settled", "ms", firstSettled.values);
    printFigure("show.mapped", "ms", mapped.values);
    printFigure("show.settled", "ms", settled.values);
    printFigure("search-show.mapped", "ms", searchMapped.values);
    printFigure("search-show.settled", "ms", searchSettled.values);
    printFigure("keystroke.settled", "ms", typed.values);
    printFigure("memory.rss", "kB", {static_cast<double>(memory.rss)});
    printFigure("memory.pss", "kB", {static_cast<double>(memory.pss)});
    printFigure("memory.anonymous", "kB", {static_cast<double>(memory.anonymous)});
    return 0;
}

/// Polls `area` from `since` until it has changed and then stayed the same for a second; returns the
/// moment of its last change (`since` when nothing changed within a minute).
Clock::time_point lastChange(Display& x, xcb_rectangle_t area, Clock::time_point since)
{
    std::vector<std::uint8_t> last = x.pixels(area);
    std::optional<Clock::time_point> changed;
    const auto deadline = since + 60s;
    while ((!changed || Clock::now() - *changed < 1s) && Clock::now() < deadline) {
        std::vector<std::uint8_t> now = x.pixels(area);
        if (now != last) {
            changed = Clock::now();
            last = std::move(now);
        }
    }
    return changed.value_or(since);
}

int measureRows(pid_t pid)
{
    Display x;
    // The rows' titles of the 600 x 400 window centred on the screen: from the left edge of the text
    // (8 + 20 + 32 + 12 in) across 200 pixels, from below the header to the bottom of the list. Watched
    // from the press on, so a paint that comes before the probe reads the MapNotify still counts.
    const xcb_rectangle_t screen = x.rootRectangle(x.root());
    const xcb_rectangle_t titles{static_cast<std::int16_t>((screen.width - 600) / 2 + 72),
                                 static_cast<std::int16_t>((screen.height - 400) / 2 + 70), 200, 320};
    const auto sent = Clock::now();
    x.pressHotKey();
    const auto painted = lastChange(x, titles, sent);
    const std::optional<Shown> shown = awaitShown(x, pid, 30s);
    if (!shown)
        fail("the launcher's window did not appear");
    if (!awaitFocus(x, shown->window, 10s))
        fail("the launcher's window did not get the focus");
    // A keystroke that brings other rows, with icons not drawn before, into view.
    const auto typed = Clock::now();
    x.tap('t');
    const auto repainted = lastChange(x, titles, typed);
    printFigure("rows.painted", "ms", {millisecondsBetween(sent, painted)});
    printFigure("rows.typed", "ms", {millisecondsBetween(typed, repainted)});
    return 0;
}

/// The kB value of `field` ("VmRSS:") in /proc/PID/status; -1 when absent.
long statusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
    }
    return -1;
}

int openDescriptors(pid_t pid)
{
    DIR* folder = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (folder == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(folder);
    return count;
}

void printFootprint(pid_t pid, int cycle)
{
    std::printf("cycle %5d: VmRSS %6.2f MB, RssAnon %6.2f MB, fds %d, threads %ld\n", cycle,
                static_cast<double>(statusField(pid, "VmRSS:")) / 1024.0,
                static_cast<double>(statusField(pid, "RssAnon:")) / 1024.0, openDescriptors(pid),
                statusField(pid, "Threads:"));
    std::fflush(stdout);
}

int measureSoak(pid_t pid, int cycles, int every)
{
    Display x;
    const xcb_keysym_t letters[] = {'a', 'e', 'r', 'o', 'n', 'i', 'k', 'm', 's', 't'};
    constexpr std::size_t letterCount = sizeof letters / sizeof letters[0];
    printFootprint(pid, 0);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        x.pressHotKey();
        const std::optional<Shown> shown = awaitShown(x, pid, 10s);
        if (!shown)
            fail("cycle " + std::to_string(cycle) + ": the launcher's window did not appear");
        // Keys typed before the window manager hands over the focus would go elsewhere.
        if (!awaitFocus(x, shown->window, 10s))
            fail("cycle " + std::to_string(cycle) + ": the launcher's window did not get the focus");
        x.tap(letters[cycle % letterCount]);
        x.tap(letters[(cycle / letterCount) % letterCount]);
        std::this_thread::sleep_for(5ms);
        x.tap(0xff1b); // Escape
        if (!awaitHidden(x, shown->window, 10s))
            fail("cycle " + std::to_string(cycle) + ": Escape did not hide the window");
        if (cycle % every == 0)
            printFootprint(pid, cycle);
    }
    return 0;
}

/// Starts `command` (searched in PATH) in a child process; its pid.
pid_t spawn(char** command)
{
    const pid_t child = fork();
    if (child < 0)
        fail("fork failed");
    if (child == 0) {
        execvp(command[0], command);
        std::fprintf(stderr, "kestrel-measure: cannot run %s\n", command[0]);
        _exit(127);
    }
    return child;
}

int measureStartup(char** command)
{
    Display x;
    const xcb_window_t own = x.mapFocusedWindow();
    const auto started = Clock::now();
    const pid_t child = spawn(command);

    // Press Ctrl+Space every 2 ms until a press no longer reaches our own focused window: from then on
    // the launcher holds the grab, and that press waits in its queue until its event loop runs.
    std::optional<Clock::time_point> grabbed;
    const auto deadline = started + 60s;
    while (!grabbed && Clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            fail("the launcher exited during start-up");
        const auto pressed = Clock::now();
        x.holdHotKey();
        x.sync();
        bool reachedUs = false;
        while (xcb_generic_event_t* raw = xcb_poll_for_queued_event(x.connection())) {
            Event event(raw);
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(raw);
            if ((raw->response_type & 0x7f) == XCB_KEY_PRESS && key->event == own && key->detail == x.space())
                reachedUs = true;
        }
        x.releaseHotKey();
        x.sync();
        if (!reachedUs)
            grabbed = pressed;
        else
            std::this_thread::sleep_for(2ms);
    }
    if (!grabbed)
        fail("the launcher never grabbed Ctrl+Space");

    const std::optional<Shown> shown = awaitShown(x, child, 60s);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    if (!shown)
        fail("the launcher's window did not appear after the hot key");
    printFigure("startup.grabbed", "ms", {millisecondsBetween(started, *grabbed)});
    printFigure("startup.mapped", "ms", {millisecondsBetween(started, shown->at)});
    return 0;
}

/// Runs `command` to its exit; the milliseconds from fork to the end of waitpid.
double timedRun(char** command)
{
    const auto started = Clock::now();
    const pid_t child = spawn(command);
    int status = 0;
    waitpid(child, &status, 0);
    const double elapsed = millisecondsBetween(started, Clock::now());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(std::string(command[0]) + " failed");
    return elapsed;
}

/// `commands` holds one command, or two separated by "--", which then run in turns.
int measureRuns(int count, char** commands)
{
    if (count < 1)
        fail("COUNT must be positive");
    char** second = nullptr;
    for (char** word = commands; *word; ++word) {
        if (std::strcmp(*word, "--") == 0) {
            *word = nullptr;
            second = word + 1;
            break;
        }
    }
    if (!commands[0] || (second && !second[0]))
        fail("runs needs a command");
    std::vector<double> first, other;
    for (int run = 0; run < count; ++run) {
        first.push_back(timedRun(commands));
        if (second)
            other.push_back(timedRun(second));
    }
    printFigure("runs.command", "ms", first);
    if (second)
        printFigure("runs.other", "ms", other);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "session" && argc == 4)
        return measureSession(static_cast<pid_t>(std::atoi(argv[2])), std::atoi(argv[3]));
    if (mode == "soak" && argc == 5)
        return measureSoak(static_cast<pid_t>(std::atoi(argv[2])), std::atoi(argv[3]), std::max(1, std::atoi(argv[4])));
    if (mode == "rows" && argc == 3)
        return measureRows(static_cast<pid_t>(std::atoi(argv[2])));
    if (mode == "startup" && argc >= 3)
        return measureStartup(argv + 2);
    if (mode == "runs" && argc >= 4)
        return measureRuns(std::atoi(argv[2]), argv + 3);
    std::fprintf(stderr, "usage: kestrel-measure session PID SHOWS | rows PID | soak PID CYCLES EVERY | "
                         "startup COMMAND... | runs COUNT COMMAND... [-- OTHER...]\n");
    return 2;
}
