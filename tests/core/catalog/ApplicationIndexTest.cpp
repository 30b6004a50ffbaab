#include "catalog/ApplicationIndex.h"

#include "catalog/CatalogFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

using testing::PlistBuilder;
using testing::ScopedEnvironment;
using testing::TempTree;
using testing::xmlPlist;
using Strings = std::vector<std::string>;

constexpr const char* applications = "root/Applications/";
constexpr const char* systemApplications = "root/System/Applications/";
constexpr const char* utilities = "root/System/Applications/Utilities/";
constexpr const char* coreServices = "root/System/Library/CoreServices/";

class ApplicationIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_environment.pinLocale("en_US.UTF-8");
        m_environment.set("XDG_CURRENT_DESKTOP", std::nullopt);
    }

    CatalogLocations locations(const Strings& xdgDirectories = {}) const
    {
        CatalogLocations result;
        result.bundleRoot = m_tree.path("root");
        for (const std::string& directory : xdgDirectories)
            result.xdgApplicationDirectories.push_back(m_tree.path(directory));
        return result;
    }

    std::vector<LauncherApp> load(const Strings& xdgDirectories = {}) const
    {
        ApplicationIndex index(locations(xdgDirectories));
        index.loadApplications();
        return index.apps();
    }

    void bundle(const std::string& path, const std::string& infoPlist) const
    {
        m_tree.writeFile(path + "/Contents/Info.plist", infoPlist);
    }

    static std::string displayNamePlist(const std::string& name)
    {
        PlistBuilder builder;
        builder.string("CFBundleDisplayName", name);
        return builder.xml();
    }

    std::string relative(const LauncherApp& app) const
    {
        return app.url() ? app.url()->path().substr(m_tree.root().size() + 1) : "(no url)";
    }

    static Strings names(const std::vector<LauncherApp>& apps)
    {
        Strings result;
        for (const LauncherApp& app : apps)
            result.push_back(app.name());
        return result;
    }

    TempTree m_tree;
    ScopedEnvironment m_environment;
};

std::string desktopEntry(const std::string& name, const std::string& extra = "")
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=sh\n" + extra;
}

TEST_F(ApplicationIndexTest, ConstructionDoesNotScan)
{
    m_tree.writeFile(std::string(applications) + "A.app", "");
    ApplicationIndex index(locations());
    EXPECT_TRUE(index.apps().empty());
    EXPECT_EQ(index.applicationDirectories(), locations().bundleDirectories());
}

TEST_F(ApplicationIndexTest, NothingToScanGivesAnEmptyCatalogue)
{
    EXPECT_TRUE(load({"missing/applications"}).empty());

    m_tree.writeFile("root/Applications", "a file where a directory belongs");
    m_tree.writeFile("xdg-file", "");
    m_tree.makeDirectory(systemApplications);
    EXPECT_TRUE(load({"xdg-file"}).empty());
}

TEST_F(ApplicationIndexTest, EveryDotAppEntryIsListedWithItsName)
{
    PlistBuilder full;
    full.string("CFBundleDisplayName", "Safari Browser").string("CFBundleIdentifier", "com.apple.Safari");
    PlistBuilder numberName;
    numberName.integer("CFBundleDisplayName", 42).string("CFBundleIdentifier", "com.example.number");
    PlistBuilder idOnly;
    idOnly.string("CFBundleIdentifier", "com.example.plain").string("CFBundleName", "Ignored");
    const std::string a = applications;
    bundle(a + "Safari.app", full.xml());
    bundle(a + "NumberName.app", numberName.binary());
    bundle(a + "IdOnly.app", idOnly.xml());
    bundle(a + "EmptyName.app", displayNamePlist(""));
    bundle(a + "Bom.app", "\xEF\xBB\xBF" + xmlPlist("<key>CFBundleDisplayName</key><string>With BOM</string>"));
    m_tree.writeFile(a + "Flat.app/Info.plist", displayNamePlist("Flat Bundle"));
    m_tree.writeFile(a + "PlainFile.app", displayNamePlist("Never read"));
    m_tree.makeDirectory(a + "NoInfo.app/Contents");
    bundle(a + "Garbage.app", "\x01\x02garbage");
    bundle(a + "Truncated.app", full.xml().substr(0, 100));
    m_tree.makeSparseFile(a + "Huge.app/Contents/Info.plist", 9u * 1024u * 1024u);
    m_tree.makeFifo(a + "Fifo.app/Contents/Info.plist");
    m_tree.makeDirectory(a + ".Hidden.app");
    m_tree.makeDirectory(a + "Upper.APP");
    m_tree.makeDirectory(a + "Mixed.App");
    m_tree.writeFile(a + "Notes.app.zip", "");
    m_tree.makeDirectory(a + "Folder/Inside.app");

    using Row = std::tuple<std::string, std::optional<std::string>, std::string>; // name, identifier, location
    std::set<Row> rows;
    for (const LauncherApp& app : load()) {
        rows.emplace(app.name(), app.bundleIdentifier(), relative(app));
        EXPECT_EQ(app.type(), LauncherItemType::application);
        EXPECT_FALSE(app.calculationResult().has_value());
    }
    const std::set<Row> expected = {
        {"Safari Browser", "com.apple.Safari", a + "Safari.app"},
        {"NumberName", "com.example.number", a + "NumberName.app"},
        {"IdOnly", "com.example.plain", a + "IdOnly.app"},
        {"", std::nullopt, a + "EmptyName.app"},
        {"With BOM", std::nullopt, a + "Bom.app"},
        {"Flat Bundle", std::nullopt, a + "Flat.app"},
        {"PlainFile", std::nullopt, a + "PlainFile.app"},
        {"NoInfo", std::nullopt, a + "NoInfo.app"},
        {"Garbage", std::nullopt, a + "Garbage.app"},
        {"Truncated", std::nullopt, a + "Truncated.app"},
        {"Huge", std::nullopt, a + "Huge.app"},
        {"Fifo", std::nullopt, a + "Fifo.app"},
        {".Hidden", std::nullopt, a + ".Hidden.app"},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(ApplicationIndexTest, SortsCaseInsensitivelyAndKeepsScanOrderForTies)
{
    // One name per directory fixes the scan order: apple, Banana, Apple.
    m_tree.makeDirectory(std::string(applications) + "apple.app");
    m_tree.makeDirectory(std::string(systemApplications) + "Banana.app");
    m_tree.makeDirectory(std::string(utilities) + "Apple.app");
    m_tree.makeDirectory(std::string(coreServices) + "banana.app");
    const auto apps = load();
    EXPECT_EQ(names(apps), (Strings{"apple", "Apple", "Banana", "banana"}));
}

TEST_F(ApplicationIndexTest, SameApplicationInTwoDirectoriesGivesTwoAdjacentRecords)
{
    for (const char* directory : {systemApplications, applications}) {
        for (const char* name : {"Mail.app", "Maps.app", "Calendar.app"})
            bundle(std::string(directory) + name, displayNamePlist(std::string(name).substr(0, std::string(name).size() - 4)));
    }
    bundle(std::string(utilities) + "Mail Helper.app", displayNamePlist("Mail"));
    const auto apps = load();
    Strings locations;
    for (const LauncherApp& app : apps)
        locations.push_back(relative(app));
    EXPECT_EQ(locations, (Strings{std::string(applications) + "Calendar.app", std::string(systemApplications) + "Calendar.app",
                                  std::string(applications) + "Mail.app", std::string(systemApplications) + "Mail.app",
                                  std::string(utilities) + "Mail Helper.app", std::string(applications) + "Maps.app",
                                  std::string(systemApplications) + "Maps.app"}));
    EXPECT_FALSE(apps[2] == apps[3]); // same name, different URLs
}

TEST_F(ApplicationIndexTest, SortFollowsTheUserCollationLocale)
{
    for (const char* name : {"Zebra.app", "\xC3\x96" "ffnen.app", "Apfel.app"})
        m_tree.makeDirectory(std::string(applications) + name);
    struct Case {
        const char* locale;
        Strings expected;
    };
    const Case cases[] = {
        {"en_US.UTF-8", {"Apfel", "\xC3\x96" "ffnen", "Zebra"}},
        {"sv_SE.UTF-8", {"Apfel", "Zebra", "\xC3\x96" "ffnen"}},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.pinLocale(c.locale);
        EXPECT_EQ(names(load()), c.expected) << c.locale;
    }
}

TEST_F(ApplicationIndexTest, LoadingAgainReplacesTheRecords)
{
    m_tree.makeDirectory(std::string(applications) + "One.app");
    m_tree.makeDirectory(std::string(applications) + "Two.app");
    m_tree.writeFile("xdg/three.desktop", desktopEntry("Three"));
    ApplicationIndex index(locations({"xdg"}));
    index.loadApplications();
    const std::vector<LauncherApp> first = index.apps();
    m_tree.makeDirectory(std::string(applications) + "Four.app");
    index.loadApplications();
    EXPECT_EQ(names(index.apps()), (Strings{"Four", "One", "Three", "Two"}));
    for (const LauncherApp& before : first) {
        const auto again = std::find(index.apps().begin(), index.apps().end(), before);
        ASSERT_NE(again, index.apps().end()) << before.name();
        EXPECT_FALSE(again->id() == before.id()) << before.name();
    }
}

TEST_F(ApplicationIndexTest, RecordsCarryIconReferencesWithoutReadingImages)
{
    PlistBuilder withIcon;
    withIcon.string("CFBundleIconFile", "AppIcon");
    bundle(std::string(applications) + "Iconic.app", withIcon.xml());
    m_tree.writeFile(std::string(applications) + "Iconic.app/Contents/Resources/AppIcon.icns", "not really an image");
    m_tree.makeDirectory(std::string(applications) + "Plain1.app");
    m_tree.makeDirectory(std::string(applications) + "Plain2.app");
    m_tree.writeFile("xdg/term1.desktop", desktopEntry("Term1", "Icon=utilities-terminal\n"));
    m_tree.writeFile("xdg/term2.desktop", desktopEntry("Term2", "Icon=utilities-terminal.png\n"));
    m_tree.writeFile("xdg/file.desktop", desktopEntry("FileIcon", "Icon=/opt/icons/x.png\n"));
    m_tree.writeFile("xdg/none.desktop", desktopEntry("NoIcon"));

    const auto apps = load({"xdg"});
    ASSERT_EQ(names(apps), (Strings{"FileIcon", "Iconic", "NoIcon", "Plain1", "Plain2", "Term1", "Term2"}));
    auto icon = [&](std::size_t i) { return std::make_pair(apps[i].icon()->kind, apps[i].icon()->value); };
    using Kind = IconSource::Kind;
    EXPECT_EQ(icon(0), std::make_pair(Kind::imageFile, std::string("/opt/icons/x.png")));
    EXPECT_EQ(icon(1), std::make_pair(Kind::imageFile, m_tree.path(std::string(applications) + "Iconic.app/Contents/Resources/AppIcon.icns")));
    EXPECT_EQ(icon(2), std::make_pair(Kind::themeIcon, std::string("application-x-executable")));
    EXPECT_EQ(icon(3), std::make_pair(Kind::themeIcon, std::string("application-x-executable")));
    EXPECT_EQ(icon(5), std::make_pair(Kind::themeIcon, std::string("utilities-terminal")));
    EXPECT_EQ(icon(6), std::make_pair(Kind::themeIcon, std::string("utilities-terminal")));
    // One shared handle per distinct theme icon.
    EXPECT_EQ(apps[2].icon(), apps[3].icon());
    EXPECT_EQ(apps[3].icon(), apps[4].icon());
    EXPECT_EQ(apps[5].icon(), apps[6].icon());
}

TEST_F(ApplicationIndexTest, DesktopEntriesJoinTheCatalogue)
{
    m_environment.set("XDG_CURRENT_DESKTOP", "GNOME");
    m_tree.makeDirectory(std::string(applications) + "Editor.app");
    m_tree.writeFile("home/editor.desktop", desktopEntry("Editor"));
    m_tree.writeFile("home/org.example.Files.desktop", desktopEntry("Files"));
    m_tree.writeFile("home/hidden-here.desktop", desktopEntry("Masked", "Hidden=true\n"));
    m_tree.writeFile("home/broken-here.desktop", "not a desktop entry");
    m_tree.writeFile("home/vendor/tool.desktop", desktopEntry("Vendor Tool (home)"));
    m_tree.writeFile("system/org.example.Files.desktop", desktopEntry("Files (system)"));
    m_tree.writeFile("system/hidden-here.desktop", desktopEntry("Hidden Here (system)"));
    m_tree.writeFile("system/broken-here.desktop", desktopEntry("Broken Here (system)"));
    m_tree.writeFile("system/vendor-tool.desktop", desktopEntry("Vendor Tool (system)"));
    m_tree.writeFile("system/gnome-only.desktop", desktopEntry("Gnome Only", "OnlyShowIn=GNOME;\n"));
    m_tree.writeFile("system/not-gnome.desktop", desktopEntry("Not Gnome", "NotShowIn=GNOME;\n"));
    m_tree.writeFile("system/settings.desktop", desktopEntry("Settings Panel", "NoDisplay=true\n"));
    m_tree.writeFile("system/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org\n");

    using Row = std::tuple<std::string, std::optional<std::string>, std::string>;
    std::vector<Row> rows;
    for (const LauncherApp& app : load({"home", "system"}))
        rows.emplace_back(app.name(), app.bundleIdentifier(), relative(app));
    // Sorted by name; "Editor" twice, the bundle first because bundles are scanned first.
    EXPECT_EQ(rows, (std::vector<Row>{
                        {"Editor", std::nullopt, std::string(applications) + "Editor.app"},
                        {"Editor", "editor", "home/editor.desktop"},
                        {"Files", "org.example.Files", "home/org.example.Files.desktop"},
                        {"Gnome Only", "gnome-only", "system/gnome-only.desktop"},
                        {"Vendor Tool (home)", "vendor-tool", "home/vendor/tool.desktop"},
                    }));
}

TEST_F(ApplicationIndexTest, NamesThatAreNotUtf8AreListedWithReplacementCharacters)
{
    m_tree.makeDirectory(std::string(applications) + "Caf\xE9.app");
    bundle(std::string(applications) + "Bad\xFF.app", displayNamePlist("Good Name"));
    m_tree.writeFile("xdg/m\xFCsic.desktop", desktopEntry("Music"));
    m_tree.writeFile("xdg/bad-name.desktop", "[Desktop Entry]\nType=Application\nExec=sh\nName=Bad\xC3\n");

    const auto apps = load({"xdg"});
    ASSERT_EQ(names(apps), (Strings{"Caf\xEF\xBF\xBD", "Good Name", "Music"}));
    EXPECT_EQ(relative(apps[0]), std::string(applications) + "Caf\xE9.app"); // the real bytes, still openable
    EXPECT_EQ(relative(apps[1]), std::string(applications) + "Bad\xFF.app");
    EXPECT_EQ(apps[2].bundleIdentifier(), "m\xEF\xBF\xBDsic");
    EXPECT_EQ(relative(apps[2]), "xdg/m\xFCsic.desktop");
}

TEST_F(ApplicationIndexTest, UnreadablePlacesAreSkippedSilently)
{
    m_tree.makeDirectory(std::string(applications) + "Hidden Away.app");
    m_tree.makeDirectory(std::string(systemApplications) + "Visible.app");
    bundle(std::string(systemApplications) + "Locked.app", displayNamePlist("Locked Display Name"));
    m_tree.writeFile("xdg/closed/secret.desktop", desktopEntry("Secret"));
    m_tree.writeFile("xdg/locked.desktop", desktopEntry("Locked Entry"));
    m_tree.writeFile("xdg/open.desktop", desktopEntry("Open Entry"));
    ::chmod(m_tree.path(applications).c_str(), 0);
    ::chmod(m_tree.path(std::string(systemApplications) + "Locked.app/Contents/Info.plist").c_str(), 0);
    ::chmod(m_tree.path("xdg/closed").c_str(), 0);
    ::chmod(m_tree.path("xdg/locked.desktop").c_str(), 0);

    const CatalogLocations where = locations({"xdg"});
    const std::string result = testing::runWithoutRootPrivileges([&] {
        ApplicationIndex index(where);
        index.loadApplications();
        std::string listed;
        for (const LauncherApp& app : index.apps())
            listed += app.name() + (app.bundleIdentifier() ? "[" + *app.bundleIdentifier() + "]" : "") + ";";
        return listed;
    });
    EXPECT_EQ(result, "Locked;Open Entry[open];Visible;");
}

TEST_F(ApplicationIndexTest, SymbolicLinkLoopUnderAnXdgDirectoryEnds)
{
    m_tree.writeFile("xdg/sub/app.desktop", desktopEntry("Looped"));
    m_tree.makeSymlink(m_tree.path("xdg"), "xdg/sub/again");
    m_tree.makeSymlink("../sub", "xdg/sub/again2");
    const auto apps = load({"xdg"});
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].bundleIdentifier(), "sub-app");
}

TEST_F(ApplicationIndexTest, TwentyThousandBundlesInOneDirectory)
{
    m_tree.makeDirectory(applications);
    for (int i = 0; i < 20000; ++i)
        m_tree.writeFile(std::string(applications) + "App " + std::to_string(i) + ".app", "");
    const auto apps = load();
    ASSERT_EQ(apps.size(), 20000u);
    EXPECT_EQ(apps.front().name(), "App 0");
    EXPECT_EQ(apps.back().name(), "App 9999");
    std::set<std::string> unique;
    for (const LauncherApp& app : apps)
        unique.insert(app.name());
    EXPECT_EQ(unique.size(), 20000u);
}

TEST_F(ApplicationIndexTest, TwentyThousandDesktopEntriesInOneDirectory)
{
    for (int i = 0; i < 20000; ++i)
        m_tree.writeFile("xdg/app" + std::to_string(i) + ".desktop",
                         desktopEntry("Entry " + std::to_string(i), i % 2 ? "NoDisplay=true\n" : ""));
    const auto apps = load({"xdg"});
    ASSERT_EQ(apps.size(), 10000u);
    std::set<std::string> expected;
    for (int i = 0; i < 20000; i += 2)
        expected.insert("Entry " + std::to_string(i));
    std::set<std::string> listed;
    for (const LauncherApp& app : apps)
        listed.insert(app.name());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(apps.front().name(), "Entry 0");
    EXPECT_EQ(apps.back().name(), "Entry 9998");
}

} // namespace
} // namespace kestrel
