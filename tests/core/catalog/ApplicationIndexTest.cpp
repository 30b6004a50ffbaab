#include "catalog/ApplicationIndex.h"
#include "catalog/DesktopEntryReader.h"

#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <latch>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

using test::desktopEntry;
using test::EnvironmentGuard;
using test::xmlPlist;
using Strings = std::vector<std::string>;
using Variable = std::optional<std::string>;

const std::string apps = "Applications/";

class ApplicationIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Swedish (the collation category, not LANG) sorts O with diaeresis after Z, unlike German.
        m_environment.set("LC_ALL", nullptr);
        m_environment.set("LC_COLLATE", "sv_SE.UTF-8");
        m_environment.set("LANG", "de_DE.UTF-8");
        m_environment.set("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    }

    /// "name|identifier|path below the tree", then "|file <path>" or "|theme <name>" unless the icon is the
    /// generic one; one per record, in catalogue order.
    Strings load(const Strings& xdgDirectories = {}) const
    {
        CatalogLocations locations{m_tree.root(), {}};
        for (const std::string& directory : xdgDirectories)
            locations.xdgApplicationDirectories.push_back(m_tree.path(directory));
        ApplicationIndex index(locations);
        index.loadApplications();
        Strings out;
        for (const LauncherApp& app : index.apps()) {
            const IconSource& icon = *app.icon();
            out.push_back(app.name() + "|" + app.bundleIdentifier().value_or("-") + "|"
                          + app.url()->path().substr(m_tree.root().size() + 1)
                          + (icon.value == "application-x-executable"
                                 ? ""
                                 : (icon.kind == IconSource::Kind::imageFile ? "|file " : "|theme ") + icon.value));
        }
        return out;
    }

    test::TempTree m_tree;
    EnvironmentGuard m_environment;
};

// Sorted by the user's collation, which ignores case; equal names keep the order of their directories.
TEST_F(ApplicationIndexTest, EveryDotAppEntryIsListedUnderItsDisplayNameOrFileName)
{
    m_tree.write(apps + "Safari.app/Contents/Info.plist", // ".icns" is implied
                 xmlPlist("<key>CFBundleDisplayName</key><string>Safari Browser</string><key>CFBundleIconFile</key>"
                          "<string>AppIcon</string><key>CFBundleIdentifier</key><string>com.apple.Safari</string>"));
    const std::string icns = m_tree.write(apps + "Safari.app/Contents/Resources/AppIcon.icns");
    m_tree.write(apps + "BrokenThenFlat.app/Contents/Info.plist", "\x01\x02garbage");
    m_tree.write(apps + "BrokenThenFlat.app/Info.plist",
                 xmlPlist("<key>CFBundleDisplayName</key><string>Fallback</string>"));
    std::filesystem::resize_file(m_tree.write(apps + "Huge.app/Contents/Info.plist"), 9u << 20);
    ASSERT_EQ(::mkfifo((m_tree.dir(apps + "Fifo.app/Contents") + "/Info.plist").c_str(), 0644), 0);
    // The last one, "Apple", lies in the second bundle directory.
    for (const char* directory : {".Hidden.app", "Caf\xE9.app", "Upper.APP", "Folder/Inside.app", "Notes.app.zip",
                                  "apple.app", "Zebra.app", "\u00D6ffnen.app", "../System/Applications/Apple.app"})
        m_tree.dir(apps + directory);
    m_tree.write(apps + "Out.app/Contents/Info.plist",
                 xmlPlist("<key>CFBundleIconFile</key><string>../../x.icns</string>"));
    m_tree.write(apps + "x.icns"); // outside the bundle: not used

    const std::string a = "|-|" + apps;
    EXPECT_EQ(load(),
              (Strings{".Hidden" + a + ".Hidden.app", "apple" + a + "apple.app", "Apple|-|System/" + apps + "Apple.app",
                       "Caf\xEF\xBF\xBD" + a + "Caf\xE9.app", // the path keeps the bytes
                       "Fallback" + a + "BrokenThenFlat.app", "Fifo" + a + "Fifo.app", "Huge" + a + "Huge.app",
                       "Out" + a + "Out.app", "Safari Browser|com.apple.Safari|" + apps + "Safari.app|file " + icns,
                       "Zebra" + a + "Zebra.app", "\u00D6ffnen" + a + "\u00D6ffnen.app"}));
}

// Equal names keep scan order: bundles first, then the desktop directories by precedence. The first file
// of an id shadows the later ones, even when it is itself hidden (the scanner decides before reading).
TEST_F(ApplicationIndexTest, DesktopEntriesFollowPrecedenceAndVisibility)
{
    m_tree.dir(apps + "Editor.app");
    m_tree.write("home/editor.desktop", desktopEntry("Editor", "Icon=/opt/icons/editor.png\n"));
    m_tree.write("home/org.example.Files.desktop", desktopEntry("Files", "Icon=system-file-manager.svg\n"));
    m_tree.write("home/hidden-here.desktop", desktopEntry("Masked", "Hidden=true\n"));
    m_tree.write("home/vendor/tool.desktop", desktopEntry("Vendor Tool"));
    m_tree.write("home/m\xFCsic.desktop", desktopEntry("Music"));
    std::filesystem::create_directory_symlink(m_tree.path("home"), m_tree.path("home/loop"));
    for (const char* masked : {"org.example.Files", "hidden-here", "vendor-tool"})
        m_tree.write("system/" + std::string(masked) + ".desktop", desktopEntry(std::string(masked) + " (system)"));
    m_tree.write("system/gnome-only.desktop", desktopEntry("Gnome Only", "OnlyShowIn=GNOME;\n"));
    m_tree.write("elsewhere/outside.desktop", desktopEntry("Outside"));
    std::filesystem::create_directory_symlink(m_tree.path("elsewhere"), m_tree.path("system/linked"));

    EXPECT_EQ(
        load({"home", "missing", "system"}),
        (Strings{"Editor|-|" + apps + "Editor.app", "Editor|editor|home/editor.desktop|file /opt/icons/editor.png",
                 "Files|org.example.Files|home/org.example.Files.desktop|theme system-file-manager",
                 "Gnome Only|gnome-only|system/gnome-only.desktop", "Music|m\xEF\xBF\xBDsic|home/m\xFCsic.desktop",
                 "Outside|linked-outside|system/linked/outside.desktop",
                 "Vendor Tool|vendor-tool|home/vendor/tool.desktop"}));
}

// 10,000 equal names in each of two bundle directories and 1,000 entries, loaded twice under a low open-file
// limit: a descriptor leaked per entry or directory, or a scan that stops early, would lose entries; an
// unstable sort would swap equal names; loading again replaces the records.
TEST_F(ApplicationIndexTest, LargeDirectoriesLoadedAgainWithinALowOpenFileLimit)
{
    for (int i = 0; i < 10000; ++i) {
        m_tree.write(apps + "App " + std::to_string(i) + ".app");
        m_tree.write("System/" + apps + "App " + std::to_string(i) + ".app");
    }
    for (int i = 0; i < 1000; ++i)
        m_tree.write("xdg/app" + std::to_string(i) + ".desktop",
                     desktopEntry("Entry " + std::to_string(i), i % 2 ? "NoDisplay=true\n" : ""));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit low{100, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    ApplicationIndex index(CatalogLocations{m_tree.root(), {m_tree.path("xdg")}});
    index.loadApplications();
    m_tree.dir(apps + "ZZ Top.app");
    index.loadApplications();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    const std::vector<LauncherApp>& listed = index.apps();
    ASSERT_EQ(listed.size(), 20501u);
    for (std::size_t i = 0; i < 20000; i += 2) // each name from Applications/, then the same from System/
        ASSERT_EQ(listed[i + 1].url()->path(), m_tree.path("System/" + apps + listed[i].name() + ".app")) << i;
    EXPECT_EQ(listed[20500].name(), "ZZ Top");
}

// Record ids are distinct, also when drawn by threads that all start at once (catalogues are built on a
// worker, calculator rows on the main thread; each thread seeds its own generator).
TEST(Uuid, RandomIdentifiersAreDistinctAcrossThreads)
{
    constexpr std::size_t threads = 8, each = 100;
    std::vector<std::string> drawn(threads * each);
    std::latch start(threads);
    std::vector<std::jthread> running;
    for (std::size_t t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            start.arrive_and_wait();
            for (std::size_t i = 0; i < each; ++i)
                drawn[t * each + i] = Uuid::random().toString();
        });
    }
    running.clear(); // joins them
    EXPECT_EQ(std::set<std::string>(drawn.begin(), drawn.end()).size(), drawn.size());
}

TEST(CatalogLocations, DefaultsFollowTheBaseDirectoryRules)
{
    const std::string home = "/home/u", usr = "/usr/share/applications";
    const std::tuple<Variable, Variable, Variable, Strings> cases[] = {
        // HOME, XDG_DATA_HOME, XDG_DATA_DIRS: the application directories
        {"/home/u/", "", "", {home + "/.local/share/applications", "/usr/local/share/applications", usr}},
        {"/home/u", "/data/", "/a:relative::/b//:/a", {"/data/applications", "/a/applications", "/b/applications"}},
        {"relative", "also/relative", "/data", {"/data/applications"}},
        {home, home + "/.local/share", home + "/.local/share:/usr/share", {home + "/.local/share/applications", usr}},
    };
    for (const auto& [homeValue, dataHome, dataDirs, expected] : cases) {
        EnvironmentGuard environment;
        for (const auto& [variable, value] :
             {std::pair{"HOME", homeValue}, {"XDG_DATA_HOME", dataHome}, {"XDG_DATA_DIRS", dataDirs}})
            environment.set(variable, value ? value->c_str() : nullptr);
        EXPECT_EQ(CatalogLocations::defaults().xdgApplicationDirectories, expected) << dataDirs.value_or("(unset)");
    }
}

const std::string head = "[Desktop Entry]\nType=Application\n";

// The name each file is listed under, or nothing. Translations are looked up for the languages of LANGUAGE,
// in order. How GKeyFile reads the syntax (escapes, repeated keys and groups, blanks, a BOM) is its own; that
// the fast field parser reads it alike is the desktop-entry fuzz target's property, on its corpus.
TEST(DesktopEntryReader, ListsWhatTheDesktopWouldShow)
{
    EnvironmentGuard environment;
    environment.set("LANGUAGE", "de_CH:de");
    environment.set("LC_ALL", "C");
    const std::string app = head + "Name=App\n";
    // clang-format off
    const std::tuple<std::string, Strings, Variable> cases[] = { // content, current desktops, name listed
        {"# c\n\n[Desktop Entry]\nExec=sh\n# x\nName=App\nType=Application", {}, "App"},
        {"[Desktop Entry]\nType=Link\nName=App\nURL=https://example.org\n", {}, {}},
        {"[Desktop Entry]\nName=App\nExec=sh\n", {}, {}}, {"[Other]\nA=b\n" + app + "Exec=sh\n", {}, {}},
        {app + "Exec=sh\n[Desktop Action new]\nNoDisplay=true\n", {}, "App"}, // keys of other groups
        {app + "Exec=sh\nNoDisplay=true\n", {}, {}}, {app + "Exec=sh\nHidden=1\n", {}, {}},
        {app + "Exec=sh\nHidden=yes\nNoDisplay=True\n", {}, "App"}, {app + "Exec=sh\nOnlyShowIn=\n", {"GNOME"}, {}},
        {app + "Exec=sh\nOnlyShowIn=XFCE;GNOME;\nNotShowIn=KDE;;\n", {"KDE", "GNOME"}, {}}, // the first desktop decides
        {app + "Exec=sh\nOnlyShowIn=XFCE;GNOME;\nNotShowIn=KDE;;\n", {"GNOME", "KDE"}, "App"},
        {app + "Exec=sh\nTryExec=kestrel-no-such-program\n", {}, {}}, {app + "Exec=kestrel-no-such-program %U\n", {}, {}},
        {app + "TryExec=/bin/sh\nExec=\"/bin/sh\" -c \"x=1\" %f\n", {}, "App"},
        {app + "Exec=/etc/passwd\n", {}, {}}, {app + "Exec=/ %f\n", {}, {}}, // not executable, a directory
        {app + "Exec=\"sh -c\n", {}, {}}, {app, {}, {}}, {app + "DBusActivatable=true\n", {}, "App"},
        {head + "Name=\nExec=sh\n", {}, {}}, {head + "Name=Caf\xE9\nExec=sh\n", {}, {}},
        {head + "Name=Caf\xE9\nName[de]=Baum\nName[de_CH]=Baum CH\nExec=sh\n", {}, "Baum CH"}, // the first language first
        {head + "Name=Tree\nName[de]=\xFF\nExec=sh\n", {}, "Tree"}, // a translation that is not UTF-8 is passed over
    };
    // clang-format on
    for (const auto& [content, desktops, name] : cases) {
        const auto entry = DesktopEntryReader(desktops).parse(content);
        EXPECT_EQ(entry ? Variable(entry->name) : std::nullopt, name) << content;
    }
}

} // namespace
} // namespace kestrel
