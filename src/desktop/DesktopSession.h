#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

/// The desktop session the launcher runs in: what it offers and what the launcher's services must do
/// differently in it. Read once at start (`detect`) and handed to the services that depend on it; no
/// other part of the launcher looks at the session's variables or at Qt's platform.
struct DesktopSession {
    /// A Wayland session (`WAYLAND_DISPLAY` set): the launcher's windows run on XWayland, native clients
    /// read the Wayland clipboard, and an X11 grab sees keys only while an X11 window has the focus.
    bool wayland = false;
    /// The desktops of `XDG_CURRENT_DESKTOP`, in order, empty names dropped ("GNOME", "KDE", "sway"...).
    std::vector<std::string> desktops;
    /// Qt runs on X11 (an X server or XWayland): grabs, activation and window shapes are available.
    bool x11 = false;
    /// The session bus's portal offers org.freedesktop.portal.GlobalShortcuts (version 1 or later). Asked
    /// on Wayland sessions only: on X11 the launcher grabs its key itself.
    bool globalShortcutsPortal = false;
    /// Why the portal offers no GlobalShortcuts, in the words of the hot key's stderr line ("" when it
    /// does or was not asked).
    std::string portalAbsence;

    /// Whether `name` is one of `desktops`, compared without regard to ASCII case.
    bool isDesktop(std::string_view name) const;

    /// The Qt platform the launcher runs on, chosen on Qt's command line ("-platform" and this) so that
    /// the choice never reaches the environment of the applications the launcher starts.
    static constexpr const char* qtPlatform = "xcb";

    /// Whether the X display answers. When it does not, says so on stderr (Qt would abort with a core dump).
    static bool displayReachable();

    /// Reads the session: the environment, Qt's platform, and (on Wayland) the portal, asked synchronously
    /// with the portal's answer deadline. Needs the QGuiApplication; main thread.
    static DesktopSession detect();
};

} // namespace kestrel
