#pragma once

#include "desktop/HotKeyManager.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace kestrel {

/// The X11 backend of `HotKeyManager`: passive grabs of Ctrl+Space on every root window of Qt's own xcb
/// connection, seen through Qt's native event filter. Main thread only; lives inside its manager.
class HotKeyManager::X11Backend : public QAbstractNativeEventFilter {
public:
    struct Result {
        bool registered = false;
        /// Another client holds at least one of the combinations (BadAccess).
        bool conflict = false;
        /// What went wrong otherwise, for the one stderr line.
        std::string detail;
    };

    explicit X11Backend(HotKeyManager& owner);
    /// Ungrabs what `grab()` took and stops filtering.
    ~X11Backend() override;
    X11Backend(const X11Backend&) = delete;
    X11Backend& operator=(const X11Backend&) = delete;

    /// Grabs every combination of `grabModifierMasks` for each keycode of Space, checking each request.
    /// All or nothing: when any grab is refused, the ones that succeeded are released again.
    Result grab();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        std::uint32_t root;
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };

    /// Sends one checked grab per root window, keycode and mask in `masks`, then checks them all; keeps
    /// the grabs that held. Returns false, with `result` saying why, when any was refused.
    bool grabEvery(const std::vector<std::uint16_t>& masks, Result& result);
    void ungrabAll();

    HotKeyManager& m_owner;
    xcb_connection_t* m_connection = nullptr;
    std::vector<std::uint32_t> m_roots;
    std::vector<std::uint8_t> m_keycodes;
    std::vector<Grab> m_grabs;
    RepeatFilter m_repeatFilter;
    /// Context of the queued callback calls: destroying the backend drops the ones still pending.
    QObject m_queue;
    bool m_filtering = false;
};

} // namespace kestrel
