#pragma once

#include "app/HotKey.h"
#include "desktop/DesktopSession.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

class HotKeyBackend;

/// The launcher's system-wide hot key (the key table's `hotKey`, Ctrl+Space), taken from the first of the
/// session's backends that gives one, in the order of `methodsFor`. A backend that gives no key, at once or
/// later (the portal's session closed, say), is released and the next one is started.
///
/// When the launcher ends up without a key that works from every window (no backend gives one, or on a
/// Wayland session only the X11 grab holds, which sees the key only while an X11 window has the focus),
/// one stderr line says why and what to do instead (`fallbackMessage`); nothing else is ever said.
/// Needs a QGuiApplication; main thread only; must be destroyed before the application object.
class HotKeyManager : public HotKey {
public:
    /// The ways of getting the key, one backend each.
    enum class Method { portal, gnomeBinding, x11Grab };

    /// `toggleCommand` is the absolute path of the command that toggles the running launcher (the entry
    /// program), for desktop keybindings that run it.
    HotKeyManager(DesktopSession session, std::string toggleCommand);
    /// Releases the key. A press still queued is dropped.
    ~HotKeyManager() override;
    HotKeyManager(const HotKeyManager&) = delete;
    HotKeyManager& operator=(const HotKeyManager&) = delete;

    /// Stores `callback` and takes the key (dropping an earlier registration first). The callback runs on
    /// the main thread, from the event loop, once per physical press: keyboard auto-repeat while the key is
    /// held does not call it again. The activation carries the press's X server time when the backend
    /// knows it (0 from the portal), so window managers with focus stealing prevention give the window the
    /// press shows the focus. Presses that a desktop keybinding turns into a run of `toggleCommand` reach
    /// the launcher through its single-instance socket instead.
    void registerHotKey(std::function<void(const Activation&)> callback) override;

    /// The backends to try in `session`, in order: the desktop's GlobalShortcuts portal where it is
    /// offered; otherwise, on a desktop that runs keybindings of its own (GNOME on Wayland), its binding;
    /// then the X11 grab where Qt runs on X11. When none gives a key, the stderr line gives the advice.
    static std::vector<Method> methodsFor(const DesktopSession& session);

    /// What the user does when there is no system-wide hot key: run or bind the command `kestrelpoint`.
    static std::string fallbackAdvice();

    /// The stderr line (without the "kestrelpoint: " prefix) for a launcher whose backends failed with
    /// `problems` (each a clause naming the backend and why, in the order tried). `grabbedOnWayland`: the X11
    /// grab holds on a Wayland session. "" when no line is due (no problems and no such grab).
    static std::string fallbackMessage(const std::vector<std::string>& problems, bool grabbedOnWayland);

private:
    /// Starts the next backend of `m_methods`; says the stderr line when there is none left, or when the
    /// one that holds is the X11 grab on a Wayland session.
    void startNext();
    std::unique_ptr<HotKeyBackend> makeBackend(Method method);
    void backendFailed(Method method, const std::string& reason);
    void fire(std::uint32_t xTime);

    DesktopSession m_session;
    std::string m_toggleCommand;
    std::function<void(const Activation&)> m_callback;
    std::vector<Method> m_methods;
    std::size_t m_nextMethod = 0;
    std::vector<std::string> m_problems;
    std::unique_ptr<HotKeyBackend> m_backend;
    /// Backends that failed, released on the next event-loop turn (one may still be inside its own slot).
    std::vector<std::unique_ptr<HotKeyBackend>> m_released;
    /// Context of the queued calls: destroying the manager drops the ones still pending.
    QObject m_queue;
};

} // namespace kestrel
