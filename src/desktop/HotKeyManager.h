#pragma once

#include "app/HotKey.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

/// The system-wide Ctrl+Space of the running session (Command+Space is the macOS binding). The backend is
/// chosen when the key is registered: on a Wayland session (`WAYLAND_DISPLAY` set) the desktop's
/// GlobalShortcuts portal binds the shortcut, negotiated asynchronously; otherwise, and whenever the portal
/// gives no key (missing, declined, no answer, lost later), the key is grabbed on the root window of every
/// X screen when Qt runs on "xcb"; on any other platform nothing is registered.
///
/// A registration that leaves the launcher without a system-wide key (another program holds it, the
/// platform has no backend, or on Wayland only the X11 grab remains, which sees the key only while an X11
/// window has the focus) prints exactly one line on stderr that names the reason and `fallbackAdvice()`;
/// nothing else is ever logged. Needs a QGuiApplication; main thread only; must be destroyed before the
/// application object.
class HotKeyManager : public HotKey {
public:
    HotKeyManager();
    /// Releases every grab this manager holds. A press still queued is dropped.
    ~HotKeyManager() override;
    HotKeyManager(const HotKeyManager&) = delete;
    HotKeyManager& operator=(const HotKeyManager&) = delete;

    /// Stores `callback` and registers the key (dropping an earlier registration first). The callback
    /// runs on the main thread, from the event loop, once per physical press: keyboard auto-repeat while
    /// the key is held does not call it again. The activation carries the press's X server time (0 from
    /// the portal, whose time stamps are not X time), so window managers with focus stealing prevention
    /// give the window the press shows the focus.
    void registerHotKey(std::function<void(const Activation&)> callback) override;

    /// The X modifier masks grabbed for Ctrl+Space: Control alone and with every combination of the
    /// NumLock modifier (`numLockMask`, usually Mod2) and CapsLock (Lock), so the key works whatever
    /// the lock states are. No duplicates, Control alone first. `numLockMask` 0 (no NumLock key) gives
    /// the Control and Control+Lock pair only.
    static std::vector<std::uint16_t> grabModifierMasks(std::uint16_t numLockMask);

    /// Tells a physical press from keyboard auto-repeat, for the two ways an X server reports a held
    /// key: repeated presses without releases (detectable auto-repeat), or release/press pairs carrying
    /// the same time stamp (the classic kind).
    class RepeatFilter {
    public:
        /// Returns true when the press at `time` is a new physical press.
        bool press(std::uint32_t time);
        void release(std::uint32_t time);

    private:
        bool m_held = false;
        bool m_released = false;
        std::uint32_t m_releaseTime = 0;
    };

    /// What the user does when there is no system-wide hot key: run or bind the command `kestrelpoint`.
    static std::string fallbackAdvice();

    /// The one stderr line for a registration that gives no system-wide key. `portalProblem` says why the
    /// GlobalShortcuts portal gave none ("" when it was not asked); `x11Problem` why the X11 grab failed
    /// ("" when it holds). Both empty: no line is due and the result is "".
    static std::string fallbackMessage(const std::string& portalProblem, const std::string& x11Problem);

    /// The one stderr line printed when another program already holds the key (no portal involved).
    static std::string conflictMessage();

private:
    class X11Backend;
    class PortalBackend;
    struct PortalRelease {
        void operator()(PortalBackend* backend) const;
    };

    void registerX11(const std::string& portalProblem);
    void portalFailed(const std::string& reason);
    void fire(std::uint32_t time);

    std::function<void(const Activation&)> m_callback;
    std::unique_ptr<X11Backend> m_x11;
    std::unique_ptr<PortalBackend, PortalRelease> m_portal;
};

} // namespace kestrel
