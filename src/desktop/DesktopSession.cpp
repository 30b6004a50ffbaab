#include "desktop/DesktopSession.h"

#include "desktop/HotKeyManager_portal.h"
#include "main/Diagnostics.h"
#include "text/Environment.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>

namespace kestrel {

namespace {

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

bool DesktopSession::isDesktop(std::string_view name) const
{
    return std::ranges::any_of(desktops,
                               [&](const std::string& desktop) { return equalIgnoringAsciiCase(desktop, name); });
}

bool DesktopSession::displayReachable()
{
    xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
    const bool reachable = xcb_connection_has_error(probe) == 0;
    xcb_disconnect(probe);
    if (!reachable)
        diagnostics::report("display", "cannot connect to the X display \""
                                           + text::environmentVariable("DISPLAY").value_or("")
                                           + "\"; the launcher needs X11 or XWayland");
    return reachable;
}

DesktopSession DesktopSession::detect()
{
    DesktopSession session;
    session.wayland = !text::environmentVariable("WAYLAND_DISPLAY").value_or("").empty();
    const std::string current = text::environmentVariable("XDG_CURRENT_DESKTOP").value_or("");
    for (const std::string_view desktop : text::splitPathList(current)) {
        if (!desktop.empty())
            session.desktops.emplace_back(desktop);
    }
    session.x11 = QGuiApplication::platformName() == QLatin1String(qtPlatform);
    if (session.wayland) {
        const PortalHotKey::Offer offer = PortalHotKey::probe();
        session.globalShortcutsPortal = offer.offered;
        session.portalAbsence = offer.absence;
    }
    return session;
}

} // namespace kestrel
