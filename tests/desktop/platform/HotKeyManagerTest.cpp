// why: GIO's headers first: one of their structures has a member named `signals`, a keyword in Qt's.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "desktop/HotKeyManager.h"
#include "desktop/HotKeyManager_gnome.h"
#include "desktop/HotKeyManager_portal.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

// On GNOME: the portal where it is offered (GNOME 48), else on Wayland its own keybinding (GNOME 43 to 47),
// and the X11 grab as the last resort. (Plasma, sway and X11 desktops, and the X11 grab's auto-repeat
// filter, are the integration suites': kde, wayland, e2e.)
TEST(HotKeyManager, OnGnomeTriesThePortalOrItsOwnBindingOnWaylandThenTheX11Grab)
{
    using Method = HotKeyManager::Method;
    DesktopSession gnome; // on Xorg
    gnome.desktops = {"ubuntu", "GNOME"};
    gnome.x11 = true;
    EXPECT_EQ(HotKeyManager::methodsFor(gnome), std::vector{Method::x11Grab});
    gnome.wayland = true;
    EXPECT_EQ(HotKeyManager::methodsFor(gnome), (std::vector{Method::gnomeBinding, Method::x11Grab}));
    gnome.globalShortcutsPortal = true;
    EXPECT_EQ(HotKeyManager::methodsFor(gnome), (std::vector{Method::portal, Method::x11Grab}));
    gnome.globalShortcutsPortal = false;
    gnome.desktops = {"sway"};
    EXPECT_EQ(HotKeyManager::methodsFor(gnome), std::vector{Method::x11Grab}) << "GNOME's binding on GNOME only";
}

// KDE Plasma names the key it bound, and an empty name means none (the user took it away); other portals
// (Hyprland's) may name none for a key they do bind. An answer without the toggle shortcut binds nothing.
TEST(HotKeyManager, ThePortalsAnswerGivesTheKeyOnlyWhenItBindsToggle)
{
    const auto answer = [](const char* id, const char* trigger) {
        return PortalHotKey::ShortcutList{
            {QString::fromLatin1(id), {{QStringLiteral("trigger_description"), QString::fromLatin1(trigger)}}}};
    };
    // What the answer holds; whether it binds the key where the desktop names the key it binds, and elsewhere.
    const std::tuple<const char*, PortalHotKey::ShortcutList, bool, bool> cases[] = {
        {"toggle on Ctrl+Space", answer("toggle", "Ctrl+Space"), true, true},
        {"toggle on no named key", answer("toggle", ""), false, true},
        {"another shortcut only", answer("other", "Ctrl+Space"), false, false},
        {"nothing", {}, false, false}};
    for (const auto& [what, shortcuts, onPlasma, elsewhere] : cases) {
        EXPECT_EQ(PortalHotKey::bindsToggle(shortcuts, true), onPlasma) << what;
        EXPECT_EQ(PortalHotKey::bindsToggle(shortcuts, false), elsewhere) << what;
    }
    DesktopSession session;
    session.desktops = {"X-Custom", "kde"};
    EXPECT_TRUE(PortalHotKey::namesBoundKeys(session));
    session.desktops = {"Hyprland"};
    EXPECT_FALSE(PortalHotKey::namesBoundKeys(session));
}

using Hot = GnomeBindingHotKey;

// A binding that runs the launcher stands; else a key held by another binding is left alone; else ours is
// added at a free path. The rows spell the hot key as GTK reads it and name programs as command lines do.
TEST(GnomeBindingHotKey, DecidesFromTheUsersBindings)
{
    using Action = Hot::Decision::Action;
    const std::string root = Hot::customRoot;
    const auto custom = [&root](const char* slot, const char* name, const char* key, const char* command) {
        return Hot::CustomBinding{root + slot + "/", name, key, command};
    };
    const std::vector<Hot::CustomBinding> others = {
        custom("c0", "Terminal", "<Super>space", "xterm -e kestrelpoint"),
        custom("c1", "Query", "<Control><Shift>space", "kestrelpoint-query fig"),
        custom("c2", "Resident", "<Control>KP_Space", "/usr/libexec/kestrelpoint/kestrelpoint-resident"),
        custom("c3", "Unsplittable", "space", "'kestrelpoint"),
        custom("c4", "Empty", "<Control>", ""),
        custom("c5", "Cased", "", "Kestrelpoint")};
    const Hot::CustomBinding mark = custom("c6", "Mark", "<Primary>space", "touch /tmp/mark");
    const Hot::CustomBinding usersOwn = custom("c7", "L", "<Super>k", "'/home/me/my apps/kestrelpoint' --background");
    const Hot::BuiltInBinding inputSource{"Switch input source", " <ctl><Control>Space "};
    const Hot::BuiltInBinding backward{"Backward", "<Shift><Ctrl>space"};
    const Hot::CustomBinding ours = custom("kestrelpoint", "A", "", "foot");
    const Hot::Decision keep{Action::keep, {}, {}};
    const struct {
        const char* what;
        std::vector<Hot::CustomBinding> custom;
        std::vector<Hot::BuiltInBinding> builtIn;
        Hot::Decision decision;
    } cases[] = {
        {"other keys, other programs", others, {backward}, {Action::add, Hot::bindingPath, {}}},
        {"the user's own key runs the launcher", {mark, usersOwn}, {inputSource}, keep},
        {"an earlier start's, disabled by the user", {{Hot::bindingPath, "K", "", "/usr/bin/kestrelpoint"}}, {}, keep},
        {"a custom binding holds the key, named first", {others[0], mark}, {inputSource}, {Action::taken, {}, "Mark"}},
        {"a nameless one, named by its command",
         {custom("c", "", "<Ctrl>space", "foot")},
         {},
         {Action::taken, {}, "foot"}},
        {"a built-in binding holds the key", others, {inputSource}, {Action::taken, {}, inputSource.title}},
        {"the user's list names our path", {ours}, {}, {Action::add, root + "kestrelpoint1/", {}}},
        {"and the next",
         {ours, custom("kestrelpoint1", "B", "", "foot")},
         {},
         {Action::add, root + "kestrelpoint2/", {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hot::decide(c.custom, c.builtIn, "<Control>space"), c.decision) << c.what;
}

/// The user's settings in one key file (GSettings' keyfile backend), so what a start wrote is all there is
/// to see; the schemas are the system's (gsettings-desktop-schemas, gnome-settings-daemon-common, which
/// scripts/install-deps installs).
class GnomeSettings : public ::testing::Test {
protected:
    void TearDown() override { g_clear_object(&m_backend); }

    /// The user's settings are what `keyFile` says.
    void userSettings(const std::string& keyFile)
    {
        m_backend = g_keyfile_settings_backend_new(m_tree.write("settings", keyFile).c_str(), "/", nullptr);
    }
    /// Runs one start of the backend for the entry program `program`; the reason it failed with, if it did.
    std::optional<std::string> start(const std::string& program)
    {
        std::optional<std::string> failure;
        Hot(program, m_backend)
            .start({.pressed = [](std::uint32_t) { ADD_FAILURE() << "a press reported"; },
                    .failed = [&failure](const std::string& why) { failure = why; }});
        return failure;
    }
    /// Every key stored, as "[group]key=value".
    std::set<std::string> stored() const
    {
        std::ifstream in(m_tree.path("settings"));
        std::set<std::string> lines;
        std::string group;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with('['))
                group = line;
            else if (!line.empty())
                lines.insert(group + line);
        }
        return lines;
    }

    const test::TempTree m_tree;
    GSettingsBackend* m_backend = nullptr;
};

const std::string list = "[org/gnome/settings-daemon/plugins/media-keys]custom-keybindings=['";
const std::string custom0 = std::string(Hot::customRoot) + "custom0/";

TEST_F(GnomeSettings, TheFirstStartAddsOneBindingThatRunsTheProgramAndNothingElseChangesThenOrLater)
{
    userSettings("[org/gnome/settings-daemon/plugins/media-keys]\ncustom-keybindings=['" + custom0 + "']\n"
                 + "[org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0]\nname='Terminal'\n"
                 + "binding='<Super>t'\ncommand='gnome-terminal'\n"
                 + "[org/gnome/desktop/wm/keybindings]\nswitch-input-source=['<Super>space']\n");
    std::set<std::string> expected = stored();
    ASSERT_EQ(expected.erase(list + custom0 + "']"), 1u);
    const std::string program = "/opt/it's here/kestrelpoint"; // the shell would split it, unquoted
    g_autoptr(GVariant) value = g_variant_ref_sink(g_variant_new_string(Hot::commandLineFor(program).c_str()));
    g_autofree gchar* command = g_variant_print(value, FALSE); // as the key file stores it
    const std::string ours = "[org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/kestrelpoint]";
    expected.insert({list + custom0 + "', '" + Hot::bindingPath + "']", ours + "name='Kestrelpoint'",
                     ours + "binding='<Control>space'", ours + "command=" + command});
    for (int start = 0; start < 3; ++start) {
        EXPECT_EQ(this->start(program), std::nullopt);
        EXPECT_EQ(stored(), expected) << "after start " << start;
    }
}

TEST_F(GnomeSettings, WritesNothingWhenABuiltInBindingHoldsTheKey)
{
    userSettings("[org/gnome/desktop/wm/keybindings]\nswitch-input-source=['<Ctrl>space']\n");
    const std::set<std::string> before = stored();
    const std::optional<std::string> failure = start("/usr/bin/kestrelpoint");
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("Ctrl+Space is taken by the GNOME shortcut “Switch input source”"), std::string::npos)
        << *failure;
    EXPECT_NE(failure->find(Hot::settingsPlace), std::string::npos) << *failure;
    EXPECT_EQ(stored(), before);
}

} // namespace
} // namespace kestrel
