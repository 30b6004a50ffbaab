#include "desktop/HotKeyManager_gnome.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using Action = GnomeBindingHotKey::Decision::Action;

TEST(GnomeBindingHotKey, AcceleratorsCompareInOneSpellingPerKey)
{
    const std::string ctrlSpace = GnomeBindingHotKey::canonicalAccelerator("<Control>space");
    ASSERT_FALSE(ctrlSpace.empty());
    for (const char* same :
         {"<Primary>space", "<Ctrl>Space", "<ctl>SPACE", "<Control><Control>space", " <Control>space "})
        EXPECT_EQ(GnomeBindingHotKey::canonicalAccelerator(same), ctrlSpace) << same;
    for (const char* other : {"<Control><Shift>space", "<Super>space", "<Alt>space", "space", "<Control>KP_Space"})
        EXPECT_NE(GnomeBindingHotKey::canonicalAccelerator(other), ctrlSpace) << other;
    EXPECT_EQ(GnomeBindingHotKey::canonicalAccelerator("<Shift><Primary>a"),
              GnomeBindingHotKey::canonicalAccelerator("<Control><Shift>A"));
    EXPECT_EQ(GnomeBindingHotKey::canonicalAccelerator("<Alt>F4"),
              GnomeBindingHotKey::canonicalAccelerator("<Mod1>F4"));
    EXPECT_EQ(GnomeBindingHotKey::canonicalAccelerator("<Super>k"),
              GnomeBindingHotKey::canonicalAccelerator("<Mod4>K"));
    // No key: a disabled binding, a modifier alone, a broken one.
    for (const char* none : {"", "<Control>", "<Control", "  "})
        EXPECT_EQ(GnomeBindingHotKey::canonicalAccelerator(none), "") << none;
}

TEST(GnomeBindingHotKey, ACommandRunsTheLauncherByItsProgramName)
{
    const struct {
        const char* command;
        bool runs;
    } cases[] = {
        {"kestrelpoint", true},
        {"/usr/bin/kestrelpoint", true},
        {"'/home/me/my apps/kestrelpoint' --background", true},
        {"  kestrelpoint  ", true},
        {"kestrelpoint-query fig", false},
        {"/usr/libexec/kestrelpoint/kestrelpoint-resident", false},
        {"xterm -e kestrelpoint", false},
        {"Kestrelpoint", false},
        {"", false},
        {"'kestrelpoint", false}, // the shell cannot split it, and neither can gsd-media-keys
    };
    for (const auto& c : cases)
        EXPECT_EQ(GnomeBindingHotKey::runsLauncher(c.command), c.runs) << c.command;
}

TEST(GnomeBindingHotKey, TheWrittenCommandRunsTheEntryProgramWhateverItsPath)
{
    EXPECT_EQ(GnomeBindingHotKey::commandLineFor("/usr/bin/kestrelpoint"), "/usr/bin/kestrelpoint");
    for (const std::string path :
         {"/home/me/my apps/kestrelpoint", "/opt/it's/kestrelpoint", "/opt/$HOME/kestrelpoint"}) {
        const std::string line = GnomeBindingHotKey::commandLineFor(path);
        EXPECT_TRUE(GnomeBindingHotKey::runsLauncher(line)) << line;
        gchar** argv = nullptr;
        ASSERT_TRUE(g_shell_parse_argv(line.c_str(), nullptr, &argv, nullptr)) << line;
        EXPECT_EQ(g_strv_length(argv), 1u) << line;
        EXPECT_EQ(std::string(argv[0]), path);
        g_strfreev(argv);
    }
}

TEST(GnomeBindingHotKey, DecidesFromTheUsersBindings)
{
    using Custom = GnomeBindingHotKey::CustomBinding;
    using BuiltIn = GnomeBindingHotKey::BuiltInBinding;
    const std::string root = GnomeBindingHotKey::customRoot;
    const std::string ours = GnomeBindingHotKey::bindingPath;
    const Custom terminal{root + "custom0/", "Terminal", "<Super>t", "gnome-terminal"};
    const Custom mark{root + "custom1/", "Mark", "<Primary>space", "touch /tmp/mark"};
    const BuiltIn inputSource{"Switch input source", "<Control>space"};
    const BuiltIn nearMiss{"Switch input source backward", "<Control><Shift>space"};
    const struct {
        const char* what;
        std::vector<Custom> custom;
        std::vector<BuiltIn> builtIn;
        GnomeBindingHotKey::Decision decision;
    } cases[] = {
        {"nothing bound", {}, {}, {Action::add, ours, {}}},
        {"unrelated bindings", {terminal}, {nearMiss}, {Action::add, ours, {}}},
        {"the user's own key runs the launcher",
         {terminal, {root + "custom1/", "Launcher", "<Super>k", "kestrelpoint"}},
         {},
         {Action::keep, {}, {}}},
        {"an earlier start's binding",
         {{ours, "Kestrelpoint", "<Control>space", "/usr/bin/kestrelpoint"}},
         {},
         {Action::keep, {}, {}}},
        {"the launcher's binding, disabled by the user",
         {{ours, "Kestrelpoint", "", "/usr/bin/kestrelpoint"}},
         {},
         {Action::keep, {}, {}}},
        {"the user's choice stands over a taken key",
         {mark, {root + "custom2/", "L", "<Super>k", "kestrelpoint"}},
         {inputSource},
         {Action::keep, {}, {}}},
        {"a custom binding holds the key", {terminal, mark}, {}, {Action::taken, {}, "Mark"}},
        {"a nameless one is named by its command",
         {{root + "custom0/", "", "<Control>space", "foot"}},
         {},
         {Action::taken, {}, "foot"}},
        {"a built-in binding holds the key",
         {terminal},
         {nearMiss, inputSource},
         {Action::taken, {}, "Switch input source"}},
        {"a disabled custom binding holds nothing",
         {{root + "custom0/", "Off", "", "foot"}},
         {},
         {Action::add, ours, {}}},
        {"the user's list already names our path",
         {{ours, "Mine", "<Super>m", "foot"}},
         {},
         {Action::add, root + "kestrelpoint1/", {}}},
        {"and the next one",
         {{ours, "A", "", "foot"}, {root + "kestrelpoint1/", "B", "", "foot"}},
         {},
         {Action::add, root + "kestrelpoint2/", {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GnomeBindingHotKey::decide(c.custom, c.builtIn, "<Control>space"), c.decision) << c.what;
}

// ------------------------------------------------------------------ against GSettings and GNOME's schemas

/// The user's settings in a key file (GSettings' keyfile backend): the whole store is one file, so what a
/// start wrote is all there is to see. The schemas are the system's (gsettings-desktop-schemas and
/// gnome-settings-daemon-common).
class GnomeSettingsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("user-settings")).toStdString();
        m_backend = g_keyfile_settings_backend_new(m_file.c_str(), "/", nullptr);
        m_schemas = g_settings_schema_source_get_default();
        g_autoptr(GSettingsSchema) mediaKeys =
            m_schemas ? g_settings_schema_source_lookup(m_schemas, GnomeBindingHotKey::mediaKeysSchema, TRUE) : nullptr;
        if (!mediaKeys)
            GTEST_SKIP() << "GNOME's keybinding schemas are not installed (scripts/install-deps installs them)";
    }
    void TearDown() override
    {
        if (m_backend)
            g_object_unref(m_backend);
    }

    /// Runs one start of the backend; the reason it failed with, if it did.
    std::optional<std::string> start(GSettingsSchemaSource* schemas = nullptr)
    {
        std::optional<std::string> failure;
        GnomeBindingHotKey backend("/usr/bin/kestrelpoint", m_backend, schemas ? schemas : m_schemas);
        backend.start({.pressed = [](std::uint32_t) { ADD_FAILURE() << "the GNOME binding reports no presses"; },
                       .failed =
                           [&failure](const std::string& reason) {
                               EXPECT_FALSE(failure) << "failed twice";
                               failure = reason;
                           }});
        return failure;
    }

    GSettings* settings(const char* schema, const char* path = nullptr)
    {
        g_autoptr(GSettingsSchema) found = g_settings_schema_source_lookup(m_schemas, schema, TRUE);
        return g_settings_new_full(found, m_backend, path);
    }
    std::vector<std::string> customList()
    {
        g_autoptr(GSettings) list = settings(GnomeBindingHotKey::mediaKeysSchema);
        g_auto(GStrv) paths = g_settings_get_strv(list, "custom-keybindings");
        return {paths, paths + g_strv_length(paths)};
    }
    void setCustom(const std::string& path, const char* name, const char* binding, const char* command)
    {
        g_autoptr(GSettings) keys = settings(GnomeBindingHotKey::customSchema, path.c_str());
        g_settings_set_string(keys, "name", name);
        g_settings_set_string(keys, "binding", binding);
        g_settings_set_string(keys, "command", command);
    }
    void setCustomList(const std::vector<std::string>& paths)
    {
        std::vector<const gchar*> strv;
        for (const std::string& path : paths)
            strv.push_back(path.c_str());
        strv.push_back(nullptr);
        g_autoptr(GSettings) list = settings(GnomeBindingHotKey::mediaKeysSchema);
        g_settings_set_strv(list, "custom-keybindings", strv.data());
    }
    std::map<std::string, std::string> customKeys(const std::string& path)
    {
        g_autoptr(GSettings) keys = settings(GnomeBindingHotKey::customSchema, path.c_str());
        std::map<std::string, std::string> values;
        for (const char* key : {"name", "binding", "command"}) {
            g_autofree gchar* value = g_settings_get_string(keys, key);
            values[key] = value;
        }
        return values;
    }
    /// Every key the store holds, "[group] key=value".
    std::vector<std::string> stored()
    {
        g_autoptr(GKeyFile) file = g_key_file_new();
        std::vector<std::string> lines;
        if (!g_key_file_load_from_file(file, m_file.c_str(), G_KEY_FILE_NONE, nullptr))
            return lines;
        g_auto(GStrv) groups = g_key_file_get_groups(file, nullptr);
        for (gchar** group = groups; *group; ++group) {
            g_auto(GStrv) keys = g_key_file_get_keys(file, *group, nullptr, nullptr);
            for (gchar** key = keys; *key; ++key) {
                g_autofree gchar* value = g_key_file_get_value(file, *group, *key, nullptr);
                lines.push_back("[" + std::string(*group) + "] " + *key + "=" + value);
            }
        }
        return lines;
    }

    QTemporaryDir m_dir;
    std::string m_file;
    GSettingsBackend* m_backend = nullptr;
    GSettingsSchemaSource* m_schemas = nullptr;
};

TEST_F(GnomeSettingsFixture, TheFirstStartAddsOneBindingAndLaterStartsNone)
{
    const std::string ours = GnomeBindingHotKey::bindingPath;
    EXPECT_EQ(start(), std::nullopt);
    EXPECT_EQ(customList(), std::vector<std::string>{ours});
    EXPECT_EQ(customKeys(ours),
              (std::map<std::string, std::string>{
                  {"name", "Kestrelpoint"}, {"binding", "<Control>space"}, {"command", "/usr/bin/kestrelpoint"}}));
    EXPECT_EQ(stored().size(), 4u) << "the list and the entry's three keys, nothing else";

    const std::vector<std::string> first = stored();
    for (int restart = 0; restart < 3; ++restart)
        EXPECT_EQ(start(), std::nullopt);
    EXPECT_EQ(stored(), first);
}

TEST_F(GnomeSettingsFixture, TheUsersBindingsStayAsTheyAre)
{
    const std::string custom0 = std::string(GnomeBindingHotKey::customRoot) + "custom0/";
    setCustom(custom0, "Terminal", "<Super>t", "gnome-terminal");
    setCustomList({custom0});
    const std::vector<std::string> before = stored();
    EXPECT_EQ(start(), std::nullopt);
    EXPECT_EQ(customList(), (std::vector<std::string>{custom0, GnomeBindingHotKey::bindingPath}));
    EXPECT_EQ(customKeys(custom0), (std::map<std::string, std::string>{
                                       {"name", "Terminal"}, {"binding", "<Super>t"}, {"command", "gnome-terminal"}}));
    std::vector<std::string> kept = stored();
    std::erase_if(kept, [](const std::string& line) {
        return line.find("/kestrelpoint]") != std::string::npos
               || line.find("custom-keybindings=") != std::string::npos;
    });
    std::vector<std::string> untouched = before;
    std::erase_if(untouched,
                  [](const std::string& line) { return line.find("custom-keybindings=") != std::string::npos; });
    EXPECT_EQ(kept, untouched);
}

TEST_F(GnomeSettingsFixture, WritesNothingWhenAnotherBindingRunsTheLauncherOrHoldsTheKey)
{
    const std::string custom0 = std::string(GnomeBindingHotKey::customRoot) + "custom0/";
    const struct {
        const char* what;
        const char* name;
        const char* binding;
        const char* command;
        const char* inputSource; // switch-input-source, or nullptr for the default
        std::optional<std::string> holder;
    } cases[] = {
        {"the user's own key", "Launcher", "<Super>k", "kestrelpoint", nullptr, std::nullopt},
        {"a custom binding on the key", "Mark", "<Primary>space", "touch /tmp/mark", nullptr, "Mark"},
        {"a built-in binding on the key", "Terminal", "<Super>t", "gnome-terminal", "<Ctrl>space",
         "Switch input source"},
    };
    for (const auto& c : cases) {
        setCustom(custom0, c.name, c.binding, c.command);
        setCustomList({custom0});
        g_autoptr(GSettings) wm = settings("org.gnome.desktop.wm.keybindings");
        if (c.inputSource) {
            const gchar* accelerators[] = {c.inputSource, nullptr};
            g_settings_set_strv(wm, "switch-input-source", accelerators);
        } else {
            g_settings_reset(wm, "switch-input-source");
        }
        const std::vector<std::string> before = stored();
        const std::optional<std::string> failure = start();
        EXPECT_EQ(stored(), before) << c.what;
        ASSERT_EQ(failure.has_value(), c.holder.has_value()) << c.what;
        if (failure) {
            EXPECT_NE(failure->find("Ctrl+Space is taken by the GNOME shortcut “" + *c.holder + "”"), std::string::npos)
                << *failure;
            EXPECT_NE(failure->find(GnomeBindingHotKey::settingsPlace), std::string::npos) << *failure;
        }
    }
}

TEST_F(GnomeSettingsFixture, FailsWithoutGnomesSchemas)
{
    // Schemas of the desktop alone (gsettings-desktop-schemas' window manager keys), without GNOME's
    // settings daemon's.
    const QString dir = m_dir.filePath(QStringLiteral("schemas"));
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/share/glib-2.0/schemas/org.gnome.desktop.wm.keybindings.gschema.xml"),
                            dir + QStringLiteral("/org.gnome.desktop.wm.keybindings.gschema.xml")));
    const std::string compile = "glib-compile-schemas '" + dir.toStdString() + "'";
    ASSERT_EQ(std::system(compile.c_str()), 0) << compile;
    GSettingsSchemaSource* partial =
        g_settings_schema_source_new_from_directory(dir.toStdString().c_str(), nullptr, TRUE, nullptr);
    ASSERT_NE(partial, nullptr);
    const std::optional<std::string> failure = start(partial);
    g_settings_schema_source_unref(partial);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("not installed"), std::string::npos) << *failure;
    EXPECT_EQ(stored(), std::vector<std::string>{});
}

} // namespace
} // namespace kestrel
