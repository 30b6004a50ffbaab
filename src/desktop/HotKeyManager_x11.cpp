#include "desktop/HotKeyManager_x11.h"

#include "app/LauncherKeys.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kestrel {

namespace {

constexpr std::uint32_t keysymNumLock = 0xff7f;
constexpr std::uint16_t lockMask = 1u << 1; // X's LockMask (CapsLock)
constexpr std::uint8_t badAccess = 10;
/// How often the keyboard state is asked while the key is held (milliseconds).
constexpr int releaseWatchInterval = 25;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

/// The core keyboard mapping: keysyms per keycode, from the lowest keycode on.
struct KeyboardMap {
    std::uint8_t minKeycode = 0;
    int keysymsPerKeycode = 0;
    std::vector<std::uint32_t> keysyms;

    std::vector<std::uint8_t> keycodesFor(std::uint32_t keysym, bool firstColumnOnly) const
    {
        std::vector<std::uint8_t> keycodes;
        if (keysymsPerKeycode <= 0)
            return keycodes;
        const std::size_t per = static_cast<std::size_t>(keysymsPerKeycode);
        for (std::size_t index = 0; index * per < keysyms.size(); ++index) {
            const std::size_t columns = firstColumnOnly ? 1 : per;
            for (std::size_t column = 0; column < columns; ++column) {
                if (keysyms[index * per + column] == keysym) {
                    keycodes.push_back(static_cast<std::uint8_t>(minKeycode + index));
                    break;
                }
            }
        }
        return keycodes;
    }
};

KeyboardMap readKeyboardMap(xcb_connection_t* connection)
{
    KeyboardMap map;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    map.minKeycode = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    XcbReply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr));
    if (!reply)
        return map;
    map.keysymsPerKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply.get());
    map.keysyms.assign(keysyms, keysyms + length);
    return map;
}

/// The modifier bit that NumLock sets, from the server's modifier map; Mod2 when NumLock is on no key.
std::uint16_t readNumLockMask(xcb_connection_t* connection, const KeyboardMap& map)
{
    constexpr std::uint16_t mod2 = 1u << 4;
    const std::vector<std::uint8_t> numLockKeys = map.keycodesFor(keysymNumLock, false);
    if (numLockKeys.empty())
        return mod2;
    XcbReply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!reply)
        return mod2;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
            if (keycode != 0 && std::find(numLockKeys.begin(), numLockKeys.end(), keycode) != numLockKeys.end())
                return static_cast<std::uint16_t>(1u << modifier);
        }
    }
    return mod2;
}

} // namespace

X11GrabHotKey::X11GrabHotKey()
{
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
    m_releaseWatch.setInterval(releaseWatchInterval);
    QObject::connect(&m_releaseWatch, &QTimer::timeout, &m_queue, [this] {
        if (!keyStillDown()) {
            m_repeatFilter.releasedUnseen();
            m_releaseWatch.stop();
        }
    });
}

X11GrabHotKey::~X11GrabHotKey()
{
    if (m_filtering && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    ungrabAll();
}

void X11GrabHotKey::start(Events events)
{
    m_events = std::move(events);
    const std::string problem = grab();
    if (!problem.empty()) {
        // All or nothing: a key that works only with NumLock off would be worse than none.
        ungrabAll();
        m_events.failed(problem);
        return;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_filtering = true;
}

std::string X11GrabHotKey::grab()
{
    const std::string keyName = launcherKeys::hotKey.name;
    if (!m_connection || xcb_connection_has_error(m_connection))
        return "could not register " + keyName + " (no connection to the X server)";

    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); it.rem; xcb_screen_next(&it))
        m_roots.push_back(it.data->root);

    const KeyboardMap map = readKeyboardMap(m_connection);
    m_keycodes = map.keycodesFor(launcherKeys::hotKey.keysym, true);
    if (m_keycodes.empty())
        m_keycodes = map.keycodesFor(launcherKeys::hotKey.keysym, false);
    if (m_keycodes.empty())
        return "could not register " + keyName + " (no key of the keyboard types it)";
    return grabEvery(grabModifierMasks(readNumLockMask(m_connection, map)));
}

std::string X11GrabHotKey::grabEvery(const std::vector<std::uint16_t>& masks)
{
    struct Pending {
        xcb_void_cookie_t cookie;
        Grab grab;
    };
    std::vector<Pending> pending;
    for (const std::uint32_t root : m_roots) {
        for (const std::uint8_t keycode : m_keycodes) {
            for (const std::uint16_t modifiers : masks) {
                // why: owner_events false, so the press is reported on the root window even while one of
                // our own windows has the focus, and Qt never delivers it to the search field.
                const xcb_void_cookie_t cookie = xcb_grab_key_checked(m_connection, 0, root, modifiers, keycode,
                                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
                pending.push_back({cookie, {root, keycode, modifiers}});
            }
        }
    }
    bool conflict = false;
    std::string other;
    for (const Pending& request : pending) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, request.cookie));
        if (!error) {
            m_grabs.push_back(request.grab);
            continue;
        }
        if (error->error_code == badAccess)
            conflict = true;
        else if (other.empty())
            other = "X error " + std::to_string(error->error_code);
    }
    const std::string keyName = launcherKeys::hotKey.name;
    if (conflict)
        return keyName + " is already taken by another program";
    return other.empty() ? std::string() : "could not register " + keyName + " (" + other + ")";
}

void X11GrabHotKey::ungrabAll()
{
    if (!m_connection || m_grabs.empty())
        return;
    for (const Grab& grab : m_grabs)
        xcb_ungrab_key(m_connection, grab.keycode, grab.root, grab.modifiers);
    m_grabs.clear();
    xcb_flush(m_connection);
}

bool X11GrabHotKey::keyStillDown()
{
    XcbReply<xcb_query_keymap_reply_t> reply(
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr));
    if (!reply)
        return false;
    return std::any_of(m_keycodes.begin(), m_keycodes.end(),
                       [&](std::uint8_t keycode) { return (reply->keys[keycode / 8] >> (keycode % 8)) & 1; });
}

bool X11GrabHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (std::find(m_keycodes.begin(), m_keycodes.end(), key->detail) == m_keycodes.end())
        return false;

    // why: a release counts wherever it is delivered. Under XWayland the window the press shows takes the
    // focus while the key is still down, which ends the grab and sends the release to that window (one of
    // ours, seen here) or, after a hide, to another client's (never seen: the release watch finds it).
    if (type == XCB_KEY_RELEASE) {
        m_repeatFilter.release(key->time);
        m_releaseWatch.stop();
        return false;
    }
    if (std::find(m_roots.begin(), m_roots.end(), key->event) == m_roots.end())
        return false; // typed into one of our windows, not the grab
    if (m_repeatFilter.press(key->time)) {
        const std::uint32_t time = key->time;
        m_releaseWatch.start();
        // why: the press is acted on one event-loop turn later, after Qt has handled it and taken its time
        // stamp as the connection's user time; the window it shows is then mapped with the hot key's time,
        // which window managers with focus stealing prevention require.
        QMetaObject::invokeMethod(
            &m_queue, [this, time] { m_events.pressed(time); }, Qt::QueuedConnection);
    }
    // The event is not ours alone to keep: Qt reads the time stamp and then drops it (root is no Qt window).
    return false;
}

std::vector<std::uint16_t> X11GrabHotKey::grabModifierMasks(std::uint16_t numLockMask)
{
    const std::uint16_t base = launcherKeys::hotKey.modifiers;
    // NumLock sharing another grabbed bit (a broken modifier map) must not add a duplicate grab.
    if ((numLockMask & (lockMask | base)) != 0)
        numLockMask = 0;
    std::vector<std::uint16_t> masks{base, static_cast<std::uint16_t>(base | lockMask)};
    if (numLockMask != 0) {
        masks.push_back(static_cast<std::uint16_t>(base | numLockMask));
        masks.push_back(static_cast<std::uint16_t>(base | numLockMask | lockMask));
    }
    return masks;
}

bool X11GrabHotKey::RepeatFilter::press(std::uint32_t time)
{
    if (m_held)
        return false; // detectable auto-repeat: presses without releases in between
    m_held = true;
    // Classic auto-repeat: the server sends a release and a press with the same time stamp.
    return !(m_released && time == m_releaseTime);
}

void X11GrabHotKey::RepeatFilter::release(std::uint32_t time)
{
    m_held = false;
    m_released = true;
    m_releaseTime = time;
}

void X11GrabHotKey::RepeatFilter::releasedUnseen()
{
    m_held = false;
    m_released = false;
}

} // namespace kestrel
