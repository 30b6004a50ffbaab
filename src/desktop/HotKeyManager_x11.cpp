#include "desktop/HotKeyManager_x11.h"

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

constexpr std::uint32_t keysymSpace = 0x0020;
constexpr std::uint32_t keysymNumLock = 0xff7f;
constexpr std::uint8_t badAccess = 10;

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

HotKeyManager::X11Backend::X11Backend(HotKeyManager& owner)
    : m_owner(owner)
{
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
}

HotKeyManager::X11Backend::~X11Backend()
{
    if (m_filtering && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    ungrabAll();
}

HotKeyManager::X11Backend::Result HotKeyManager::X11Backend::grab()
{
    Result result;
    if (!m_connection || xcb_connection_has_error(m_connection)) {
        result.detail = "no connection to the X server";
        return result;
    }

    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); it.rem; xcb_screen_next(&it))
        m_roots.push_back(it.data->root);

    const KeyboardMap map = readKeyboardMap(m_connection);
    m_keycodes = map.keycodesFor(keysymSpace, true);
    if (m_keycodes.empty())
        m_keycodes = map.keycodesFor(keysymSpace, false);
    if (m_keycodes.empty()) {
        result.detail = "no key of the keyboard types Space";
        return result;
    }
    if (!grabEvery(grabModifierMasks(readNumLockMask(m_connection, map)), result)) {
        // All or nothing: a key that works only with NumLock off would be worse than none.
        ungrabAll();
        return result;
    }

    QCoreApplication::instance()->installNativeEventFilter(this);
    m_filtering = true;
    result.registered = true;
    return result;
}

bool HotKeyManager::X11Backend::grabEvery(const std::vector<std::uint16_t>& masks, Result& result)
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
    bool failed = false;
    for (const Pending& request : pending) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, request.cookie));
        if (!error) {
            m_grabs.push_back(request.grab);
            continue;
        }
        failed = true;
        if (error->error_code == badAccess)
            result.conflict = true;
        else if (result.detail.empty())
            result.detail = "X error " + std::to_string(error->error_code);
    }
    return !failed;
}

void HotKeyManager::X11Backend::ungrabAll()
{
    if (!m_connection || m_grabs.empty())
        return;
    for (const Grab& grab : m_grabs)
        xcb_ungrab_key(m_connection, grab.keycode, grab.root, grab.modifiers);
    m_grabs.clear();
    xcb_flush(m_connection);
}

bool HotKeyManager::X11Backend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (std::find(m_roots.begin(), m_roots.end(), key->event) == m_roots.end()
        || std::find(m_keycodes.begin(), m_keycodes.end(), key->detail) == m_keycodes.end())
        return false;

    if (type == XCB_KEY_RELEASE) {
        m_repeatFilter.release(key->time);
        return false;
    }
    if (m_repeatFilter.press(key->time)) {
        const std::uint32_t time = key->time;
        // why: the callback runs one event-loop turn later, after Qt has handled this press and taken
        // its time stamp as the connection's user time; the window it shows is then mapped with the
        // hot key's time, which window managers with focus stealing prevention require.
        QMetaObject::invokeMethod(
            &m_queue, [this, time] { m_owner.fire(time); }, Qt::QueuedConnection);
    }
    // The event is not ours alone to keep: Qt reads the time stamp and then drops it (root is no Qt window).
    return false;
}

} // namespace kestrel
