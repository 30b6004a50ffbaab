#include "desktop/HotKeyManager.h"
#include "desktop/HotKeyManager_portal.h"
#include "desktop/HotKeyManager_x11.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

TEST(HotKeyManager, RepeatFilterCountsPhysicalPressesOnly)
{
    // The key's presses (P: a physical one, p: a repeat), releases (r) and releases seen only through the
    // keyboard state (u: delivered to another client's window), each at its X time stamp: a classic repeat
    // is a release and a press sharing a time, a detectable one a press without a release. The first press
    // comes at time 0, the time no release has had yet.
    X11GrabHotKey::RepeatFilter filter;
    for (const std::string event :
         {"P0", "r600", "p600", "r633", "p633", "p650", "r700", "P900", "r950", "P960", "u0", "P970", "u0", "P970"}) {
        const auto time = static_cast<std::uint32_t>(std::stoul(event.substr(1)));
        if (event[0] == 'r')
            filter.release(time);
        else if (event[0] == 'u')
            filter.releasedUnseen();
        else
            EXPECT_EQ(filter.press(time), event[0] == 'P') << event;
    }
}

TEST(HotKeyManager, TriesThePortalThenTheX11GrabAndSaysWhatIsMissing)
{
    const auto session = [](bool wayland, bool portal, bool x11, std::vector<std::string> desktops = {}) {
        DesktopSession s;
        s.wayland = wayland;
        s.globalShortcutsPortal = portal;
        s.x11 = x11;
        s.desktops = std::move(desktops);
        return s;
    };
    using Method = HotKeyManager::Method;
    const struct {
        DesktopSession session;
        std::vector<Method> methods;
    } cases[] = {
        {session(false, false, true), {Method::x11Grab}},               // an X11 desktop
        {session(true, true, true), {Method::portal, Method::x11Grab}}, // Plasma: the grab if the portal fails
        {session(true, false, true), {Method::x11Grab}},                // sway: no portal
        {session(true, false, false), {}},                              // no X connection: the advice only
        // GNOME 43 to 47 on Wayland: its own keybinding; GNOME 48: the portal; GNOME on Xorg: the grab
        {session(true, false, true, {"GNOME"}), {Method::gnomeBinding, Method::x11Grab}},
        {session(true, false, true, {"ubuntu", "GNOME"}), {Method::gnomeBinding, Method::x11Grab}},
        {session(true, true, true, {"GNOME"}), {Method::portal, Method::x11Grab}},
        {session(false, false, true, {"GNOME"}), {Method::x11Grab}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotKeyManager::methodsFor(c.session), c.methods) << c.session.wayland << c.session.x11;

    EXPECT_EQ(HotKeyManager::fallbackMessage({}, false), "") << "a key that works everywhere needs no line";
    const std::string advice = HotKeyManager::fallbackAdvice();
    EXPECT_EQ(HotKeyManager::fallbackMessage({"portal (x)", "Ctrl+Space is already taken"}, false),
              "portal (x), and Ctrl+Space is already taken, so the launcher has no hot key; " + advice);
    EXPECT_EQ(HotKeyManager::fallbackMessage({"portal (x)"}, true),
              "portal (x); Ctrl+Space is grabbed through X11 instead, which sees it only while an X11 window has "
              "the focus; "
                  + advice);
}

TEST(HotKeyManager, PortalAnswerGivesTheKeyOnlyWhenItBindsToggle)
{
    using Shortcut = PortalHotKey::Shortcut;
    const auto shortcut = [](const char* id, const char* trigger) {
        Shortcut s{QString::fromLatin1(id), {{QStringLiteral("description"), QStringLiteral("Show or hide")}}};
        if (trigger)
            s.details.insert(QStringLiteral("trigger_description"), QString::fromLatin1(trigger));
        return s;
    };
    const struct {
        const char* what;
        PortalHotKey::ShortcutList answer;
        bool onPlasma;  // the desktop names the key it bound (trigger_description)
        bool elsewhere; // a portal that may leave the name empty (Hyprland's)
    } cases[] = {
        {"bound with its key", {shortcut("toggle", "Ctrl+Space")}, true, true},
        {"bound with the key the user chose", {shortcut("other", "Meta+K"), shortcut("toggle", "Meta+K")}, true, true},
        {"listed with an empty key", {shortcut("toggle", "")}, false, true},
        {"listed without a key", {shortcut("toggle", nullptr)}, false, true},
        {"an empty list", {}, false, false},
        {"another shortcut only", {shortcut("other", "Ctrl+Space")}, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortalHotKey::bindsToggle(c.answer, true), c.onPlasma) << c.what;
        EXPECT_EQ(PortalHotKey::bindsToggle(c.answer, false), c.elsewhere) << c.what;
    }

    const auto on = [](std::vector<std::string> desktops) {
        DesktopSession session;
        session.desktops = std::move(desktops);
        return PortalHotKey::namesBoundKeys(session);
    };
    EXPECT_TRUE(on({"KDE"}));
    EXPECT_TRUE(on({"X-Custom", "kde"}));
    EXPECT_FALSE(on({"Hyprland"}));
    EXPECT_FALSE(on({"GNOME"}));
    EXPECT_FALSE(on({}));
}

} // namespace
} // namespace kestrel
