// why: GIO's headers first: one of their structures has a member named `signals`, a keyword in Qt's.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "desktop/HotKeyManager.h"
#include "desktop/HotKeyManager_gnome.h"
#include "desktop/HotKeyManager_x11.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

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

TEST(HotKeyManager, TriesThePortalOrTheGnomeBindingThenTheX11Grab)
{
    using Method = HotKeyManager::Method;
    const auto session = [](bool wayland, bool portal, bool x11, std::vector<std::string> desktops = {}) {
        DesktopSession s;
        s.wayland = wayland;
        s.globalShortcutsPortal = portal;
        s.x11 = x11;
        s.desktops = std::move(desktops);
        return s;
    };
    const struct {
        DesktopSession session;
        std::vector<Method> methods;
    } cases[] = {
        {session(false, false, true), {Method::x11Grab}},               // an X11 desktop
        {session(true, true, true), {Method::portal, Method::x11Grab}}, // Plasma: the grab if the portal fails
        {session(true, false, true), {Method::x11Grab}},                // sway: no portal
        {session(true, false, false), {}},                              // no X connection: the advice only
        // GNOME 43 to 47 on Wayland: its own keybinding; GNOME 48: the portal; GNOME on Xorg: the grab
        {session(true, false, true, {"ubuntu", "GNOME"}), {Method::gnomeBinding, Method::x11Grab}},
        {session(true, true, true, {"GNOME"}), {Method::portal, Method::x11Grab}},
        {session(false, false, true, {"GNOME"}), {Method::x11Grab}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotKeyManager::methodsFor(c.session), c.methods)
            << c.session.wayland << c.session.globalShortcutsPortal << c.session.x11;
}

using Hot = GnomeBindingHotKey;

// The hot key in any spelling GTK reads; the launcher told by its program name in any command line.
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
    const Hot::Decision keep{Action::keep, {}, {}};
    const struct {
        const char* what;
        std::vector<Hot::CustomBinding> custom;
        std::vector<Hot::BuiltInBinding> builtIn;
        Hot::Decision decision;
    } cases[] = {
        {"other keys, other programs",
         others,
         {{"Backward", "<Shift><Ctrl>space"}},
         {Action::add, Hot::bindingPath, {}}},
        {"the user's own key runs the launcher", {mark, usersOwn}, {inputSource}, keep},
        {"an earlier start's, disabled by the user", {{Hot::bindingPath, "K", "", "/usr/bin/kestrelpoint"}}, {}, keep},
        {"a custom binding holds the key, named first", {others[0], mark}, {inputSource}, {Action::taken, {}, "Mark"}},
        {"a nameless one is named by its command",
         {custom("c", "", "<Ctrl>space", "foot")},
         {},
         {Action::taken, {}, "foot"}},
        {"a built-in binding holds the key", others, {inputSource}, {Action::taken, {}, inputSource.title}},
        {"the user's list names our paths",
         {{Hot::bindingPath, "A", "", "foot"}, custom("kestrelpoint1", "B", "", "foot")},
         {},
         {Action::add, root + "kestrelpoint2/", {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hot::decide(c.custom, c.builtIn, "<Control>space"), c.decision) << c.what;
}

/// The user's settings in one key file (GSettings' keyfile backend), so what a start wrote is all there is
/// to see; the schemas are the system's (gsettings-desktop-schemas, gnome-settings-daemon-common).
class GnomeSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_autoptr(GSettingsSchema) mediaKeys =
            g_settings_schema_source_lookup(g_settings_schema_source_get_default(), Hot::mediaKeysSchema, TRUE);
        if (!mediaKeys)
            GTEST_SKIP() << "GNOME's keybinding schemas are not installed (scripts/install-deps installs them)";
    }
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
        for (std::string line; std::getline(in, line);)
            line.starts_with('[') ? void(group = line) : line.empty() ? void() : void(lines.insert(group + line));
        return lines;
    }

    const test::TempTree m_tree;
    GSettingsBackend* m_backend = nullptr;
};

const std::string list = "[org/gnome/settings-daemon/plugins/media-keys]custom-keybindings=['";
const std::string custom0 = std::string(Hot::customRoot) + "custom0/";

TEST_F(GnomeSettings, TheFirstStartAddsOneBindingThatRunsTheProgramAndNothingElseChangesThenOrLater)
{
    userSettings("[org/gnome/settings-daemon/plugins/media-keys]\ncustom-keybindings=['" + custom0
                 + "']\n"
                   "[org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0]\nname='Terminal'\n"
                   "binding='<Super>t'\ncommand='gnome-terminal'\n[org/gnome/desktop/wm/keybindings]\n"
                   "switch-input-source=['<Super>space']\n");
    std::set<std::string> expected = stored();
    ASSERT_EQ(expected.erase(list + custom0 + "']"), 1u);
    const std::string program = "/opt/it's here/kestrelpoint"; // the shell would split it, unquoted
    g_autofree gchar* command = g_variant_print(g_variant_new_string(Hot::commandLineFor(program).c_str()), FALSE);
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
