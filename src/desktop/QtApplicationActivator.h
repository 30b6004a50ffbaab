#pragma once

#include "app/ApplicationActivator.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace kestrel {

/// Makes the search window the active window even though another application's window has the focus:
/// raises it and asks the window manager to activate it. On X11 the request is an EWMH
/// _NET_ACTIVE_WINDOW message that names the time of the user's action, so window managers with focus
/// stealing prevention honour it. Main thread only.
class QtApplicationActivator : public ApplicationActivator {
public:
    /// `userTime` returns the X server time of the user action being answered (the hot key press), or 0
    /// when there is none (a toggle through the single-instance socket).
    explicit QtApplicationActivator(std::function<std::uint32_t()> userTime = {});

    /// The window to activate, watched weakly; nothing happens before it is set.
    void setWindow(QWidget* window);

    void activateIgnoringOtherApps() override;

private:
    std::function<std::uint32_t()> m_userTime;
    QPointer<QWidget> m_window;
};

} // namespace kestrel
