#pragma once

#include "desktop/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace kestrel {

/// The X11 backend of the hot key: passive grabs of the key table's hot key on every root window of Qt's
/// own xcb connection, seen through Qt's native event filter. Fails at start, with the reason, when any
/// grab is refused (another client holds the key) or there is no X connection. Main thread only.
class X11GrabHotKey : public HotKeyBackend, public QAbstractNativeEventFilter {
public:
    X11GrabHotKey();
    /// Ungrabs what `start` took and stops filtering.
    ~X11GrabHotKey() override;
    X11GrabHotKey(const X11GrabHotKey&) = delete;
    X11GrabHotKey& operator=(const X11GrabHotKey&) = delete;

    /// Grabs every combination of `grabModifierMasks` for each keycode of the hot key's keysym, checking
    /// each request. All or nothing: when any grab is refused, the ones that held are released again and
    /// `failed` is reported before this returns.
    void start(Events events) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    /// The X modifier masks grabbed: the hot key's modifiers alone and with every combination of the
    /// NumLock modifier (`numLockMask`, usually Mod2) and CapsLock (Lock), so the key works whatever the
    /// lock states are. No duplicates, the modifiers alone first. `numLockMask` 0 (no NumLock key) gives
    /// the plain and the Lock masks only.
    static std::vector<std::uint16_t> grabModifierMasks(std::uint16_t numLockMask);

    /// Tells a physical press from keyboard auto-repeat, for the two ways an X server reports a held key:
    /// repeated presses without releases (detectable auto-repeat), or release/press pairs carrying the same
    /// time stamp (the classic kind).
    class RepeatFilter {
    public:
        /// Returns true when the press at `time` is a new physical press.
        bool press(std::uint32_t time);
        void release(std::uint32_t time);
        /// The key is up, though no release was seen (it went to a window of another client): the next
        /// press is a physical one.
        void releasedUnseen();
        bool held() const { return m_held; }

    private:
        bool m_held = false;
        bool m_released = false;
        std::uint32_t m_releaseTime = 0;
    };

private:
    struct Grab {
        std::uint32_t root;
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };

    /// Why the key cannot be grabbed ("" when every grab held).
    std::string grab();
    /// Sends one checked grab per root window, keycode and mask in `masks`, then checks them all; keeps the
    /// grabs that held. Returns the reason when any was refused.
    std::string grabEvery(const std::vector<std::uint16_t>& masks);
    void ungrabAll();
    /// While the key is held: whether the server still has one of its keycodes down.
    bool keyStillDown();

    Events m_events;
    xcb_connection_t* m_connection = nullptr;
    std::vector<std::uint32_t> m_roots;
    std::vector<std::uint8_t> m_keycodes;
    std::vector<Grab> m_grabs;
    RepeatFilter m_repeatFilter;
    /// Asks the keyboard state while the key is held, for a release that reaches no window of ours.
    QTimer m_releaseWatch;
    /// Context of the queued press calls: destroying the backend drops the ones still pending.
    QObject m_queue;
    bool m_filtering = false;
};

} // namespace kestrel
