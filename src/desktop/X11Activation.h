#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace kestrel {

/// The X11 requests that give a window of this launcher the focus even though another application's
/// window has it, and that end a startup-notification sequence. Each does nothing when Qt does not run on
/// "xcb" or the window has no native window. Main thread only.
class X11Activation {
public:
    /// Marks `window` (before it is mapped) with the startup id of the launch it answers
    /// (`_NET_STARTUP_ID`), so the window manager ties the window to that user action.
    static void markStartupId(QWidget& window, const std::string& startupId);

    /// Asks the window manager to activate `window` (an EWMH _NET_ACTIVE_WINDOW message from a "user
    /// action" source) at X server time `userTime` (0: CurrentTime).
    static void requestActiveWindow(QWidget& window, std::uint32_t userTime);

    /// Tells the desktop that the launch with `startupId` is complete (the startup-notification "remove"
    /// message on every root window), which ends its busy cursor. Nothing for an empty id.
    static void completeStartup(const std::string& startupId);
};

} // namespace kestrel
