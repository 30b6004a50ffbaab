#include "catalog/DesktopEntryReader.h"

#include "catalog/CatalogFixture.h"

#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using testing::ScopedEnvironment;
using testing::TempTree;
using Strings = std::vector<std::string>;

std::string entry(const std::string& keys)
{
    return "[Desktop Entry]\n" + keys;
}

struct VisibilityCase {
    const char* what;
    std::string content;
    Strings desktops;
    std::optional<std::string> expectedName;
    /// False where this reader deliberately leaves out what GIO would list (nothing to run, no name).
    bool gioAgrees = true;
};

std::vector<VisibilityCase> visibilityCases()
{
    const std::string app = "Type=Application\nName=App\n";
    return {
        {"minimal application", entry(app + "Exec=sh\n"), {}, "App"},
        {"keys in any order, comments, blank lines", "# c\n\n[Desktop Entry]\nExec=sh\n# x\nName=App\nType=Application\n",
         {}, "App"},
        {"Type Link", entry("Type=Link\nName=App\nURL=https://example.org\n"), {}, std::nullopt},
        {"Type missing", entry("Name=App\nExec=sh\n"), {}, std::nullopt},
        {"Type lower case", entry("Type=application\nName=App\nExec=sh\n"), {}, std::nullopt},
        {"first group is not the entry", "[Other]\nA=b\n" + entry(app + "Exec=sh\n"), {}, std::nullopt},
        {"NoDisplay true", entry(app + "Exec=sh\nNoDisplay=true\n"), {}, std::nullopt},
        {"NoDisplay not a boolean", entry(app + "Exec=sh\nNoDisplay=maybe\n"), {}, "App"},
        {"Hidden true", entry(app + "Exec=sh\nHidden=true\n"), {}, std::nullopt},
        {"Hidden false", entry(app + "Exec=sh\nHidden=false\n"), {}, "App"},
        {"OnlyShowIn without a current desktop", entry(app + "Exec=sh\nOnlyShowIn=GNOME;\n"), {}, std::nullopt},
        {"OnlyShowIn the current desktop", entry(app + "Exec=sh\nOnlyShowIn=KDE;GNOME;\n"), {"GNOME"}, "App"},
        {"OnlyShowIn another desktop", entry(app + "Exec=sh\nOnlyShowIn=GNOME;\n"), {"KDE"}, std::nullopt},
        {"OnlyShowIn empty list", entry(app + "Exec=sh\nOnlyShowIn=\n"), {}, std::nullopt},
        {"NotShowIn the current desktop", entry(app + "Exec=sh\nNotShowIn=KDE;\n"), {"KDE"}, std::nullopt},
        {"NotShowIn another desktop", entry(app + "Exec=sh\nNotShowIn=KDE;\n"), {"GNOME"}, "App"},
        {"NotShowIn without a current desktop", entry(app + "Exec=sh\nNotShowIn=KDE;\n"), {}, "App"},
        {"first current desktop decides: excluded", entry(app + "Exec=sh\nOnlyShowIn=GNOME;\nNotShowIn=KDE;\n"),
         {"KDE", "GNOME"}, std::nullopt},
        {"first current desktop decides: included", entry(app + "Exec=sh\nOnlyShowIn=GNOME;\nNotShowIn=KDE;\n"),
         {"GNOME", "KDE"}, "App"},
        {"desktop names are case-sensitive", entry(app + "Exec=sh\nOnlyShowIn=gnome;\n"), {"GNOME"}, std::nullopt},
        {"TryExec missing program", entry(app + "Exec=sh\nTryExec=kestrel-no-such-program\n"), {}, std::nullopt},
        {"TryExec on PATH", entry(app + "Exec=sh\nTryExec=sh\n"), {}, "App"},
        {"TryExec absolute", entry(app + "Exec=sh\nTryExec=/bin/sh\n"), {}, "App"},
        {"TryExec absolute but missing", entry(app + "Exec=sh\nTryExec=/nonexistent/sh\n"), {}, std::nullopt},
        {"TryExec empty", entry(app + "Exec=sh\nTryExec=\n"), {}, "App"},
        {"Exec program missing", entry(app + "Exec=kestrel-no-such-program %U\n"), {}, std::nullopt},
        {"Exec absolute program missing", entry(app + "Exec=/nonexistent/bin/app\n"), {}, std::nullopt},
        {"Exec quoted with arguments", entry(app + "Exec=\"/bin/sh\" -c \"echo hi\" %f\n"), {}, "App"},
        {"Exec unbalanced quote", entry(app + "Exec=\"sh -c\n"), {}, std::nullopt},
        {"Exec only blanks", entry(app + "Exec=   \n"), {}, std::nullopt, false},
        {"Exec missing", entry(app), {}, std::nullopt, false},
        {"Exec empty", entry(app + "Exec=\n"), {}, std::nullopt, false},
        {"D-Bus activatable without Exec", entry(app + "DBusActivatable=true\n"), {}, "App"},
        {"Name missing", entry("Type=Application\nExec=sh\n"), {}, std::nullopt, false},
        {"Name empty", entry("Type=Application\nName=\nExec=sh\n"), {}, std::nullopt, false},
        {"Name not UTF-8", entry("Type=Application\nName=Caf\xE9\nExec=sh\n"), {}, std::nullopt, false},
        {"other key not UTF-8", entry(app + "Exec=sh\nComment=\xFF\xFE\n"), {}, "App"},
        {"escapes in Name", entry("Type=Application\nName=Two\\sWords\\tTab\nExec=sh\n"), {}, "Two Words\tTab"},
        {"no group at all", "Type=Application\nName=App\nExec=sh\n", {}, std::nullopt},
        {"binary garbage", std::string("\x7F" "ELF\x02\x01\x01\0\0\0[\xFF\xFE]\n=\n", 18), {}, std::nullopt},
        {"empty file", "", {}, std::nullopt},
    };
}

TEST(DesktopEntryReader, ShowsOnlyWhatTheDesktopWouldShow)
{
    for (const VisibilityCase& c : visibilityCases()) {
        DesktopEntryReader reader(c.desktops);
        const auto result = reader.parse(c.content);
        EXPECT_EQ(result ? std::optional<std::string>(result->name) : std::nullopt, c.expectedName) << c.what;
    }
}

// The rules are re-implemented over GKeyFile for speed; GIO's own GDesktopAppInfo must agree with them on
// every case it decides (everything but the reader's own extra rules, and several current desktops,
// which GIO reads once per process).
TEST(DesktopEntryReader, AgreesWithGio)
{
    TempTree tree;
    int compared = 0;
    for (const VisibilityCase& c : visibilityCases()) {
        if (c.desktops.size() > 1)
            continue;
        const std::string path = tree.writeFile("entry" + std::to_string(compared) + ".desktop", c.content);
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.c_str());
        const std::string desktop = c.desktops.empty() ? std::string() : c.desktops.front();
        const bool gioShows = info && !g_desktop_app_info_get_is_hidden(info) && !g_desktop_app_info_get_nodisplay(info)
                              && g_desktop_app_info_get_show_in(info, desktop.c_str());
        DesktopEntryReader reader(c.desktops);
        const auto ours = reader.readFile(path);
        EXPECT_EQ(ours.has_value(), gioShows && c.gioAgrees) << c.what;
        if (ours && info) {
            EXPECT_EQ(ours->name, g_app_info_get_name(G_APP_INFO(info))) << c.what;
        }
        if (info)
            g_object_unref(info);
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

TEST(DesktopEntryReader, NameFollowsTheMessagesLocale)
{
    const std::string content = entry("Type=Application\nExec=sh\nName=Tree\nName[de]=Baum\nName[de_CH]=Baum CH\n"
                                      "Name[fr]=Arbre\nName[sr@latin]=Drvo\nName[pt]=\xFF\xFF\n");
    struct Case {
        std::optional<std::string> language, lcAll, lcMessages, lang;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{}, {}, {}, {}, "Tree"},
        {{}, "C", {}, {}, "Tree"},
        {{}, "de_DE.UTF-8", {}, {}, "Baum"},
        {{}, "de_CH.UTF-8", {}, {}, "Baum CH"},
        {{}, {}, {}, "fr_FR.UTF-8", "Arbre"},
        {{}, {}, "de_AT.UTF-8", "fr_FR.UTF-8", "Baum"},
        {{}, "de_DE.UTF-8", "fr_FR.UTF-8", {}, "Baum"},
        {"fr:de", "de_DE.UTF-8", {}, {}, "Arbre"},
        {{}, "sr_RS.UTF-8@latin", {}, {}, "Drvo"},
        {{}, "pt_BR.UTF-8", {}, {}, "Tree"}, // the translation is not UTF-8: the untranslated name is used
        {{}, "it_IT.UTF-8", {}, {}, "Tree"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.set("LANGUAGE", c.language);
        environment.set("LC_ALL", c.lcAll);
        environment.set("LC_MESSAGES", c.lcMessages);
        environment.set("LANG", c.lang);
        DesktopEntryReader reader({});
        const auto result = reader.parse(content);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->name, c.expected) << c.language.value_or("-") << " " << c.lcAll.value_or("-") << " "
                                            << c.lcMessages.value_or("-") << " " << c.lang.value_or("-");
    }
}

TEST(DesktopEntryReader, IconIsReadAsGioReadsIt)
{
    struct Case {
        std::string keys;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"Icon=firefox\n", "firefox"},
        {"Icon=org.gnome.Calculator\n", "org.gnome.Calculator"},
        {"Icon=terminal.png\n", "terminal"},
        {"Icon=terminal.svg\n", "terminal"},
        {"Icon=terminal.xpm\n", "terminal"},
        {"Icon=photo.jpg\n", "photo.jpg"},
        {"Icon=/opt/app/icon.png\n", "/opt/app/icon.png"},
        {"Icon=generic\nIcon[de]=spezifisch\n", "spezifisch"},
        {"", ""},
        {"Icon=\n", ""},
    };
    ScopedEnvironment environment;
    environment.pinLocale("de_DE.UTF-8");
    for (const Case& c : cases) {
        DesktopEntryReader reader({});
        const auto result = reader.parse(entry("Type=Application\nName=A\nExec=sh\n" + c.keys));
        ASSERT_TRUE(result.has_value()) << c.keys;
        EXPECT_EQ(result->icon, c.expected) << c.keys;
    }
}

TEST(DesktopEntryReader, FilesThatCannotBeRead)
{
    TempTree tree;
    const std::string valid = entry("Type=Application\nName=App\nExec=sh\n");
    tree.writeFile("good.desktop", valid);
    tree.makeFifo("fifo.desktop");
    tree.makeDirectory("directory.desktop");
    tree.makeSparseFile("huge.desktop", DesktopEntryReader::maxDesktopFileBytes + 1);
    const std::string locked = tree.writeFile("locked.desktop", valid);
    ::chmod(locked.c_str(), 0);

    DesktopEntryReader reader({});
    EXPECT_TRUE(reader.readFile(tree.path("good.desktop")).has_value());
    for (const char* name : {"fifo.desktop", "directory.desktop", "huge.desktop", "missing.desktop"})
        EXPECT_FALSE(reader.readFile(tree.path(name)).has_value()) << name;
    const std::string result = testing::runWithoutRootPrivileges([&] {
        DesktopEntryReader unprivileged({});
        return std::string(unprivileged.readFile(locked) ? "read" : "skipped");
    });
    EXPECT_EQ(result, "skipped");
}

TEST(DesktopEntryReader, CurrentDesktopsComeFromTheEnvironment)
{
    struct Case {
        std::optional<std::string> value;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, {}},
        {"", {}},
        {"GNOME", {"GNOME"}},
        {"ubuntu:GNOME", {"ubuntu", "GNOME"}},
        {":KDE::X-Cinnamon:", {"KDE", "X-Cinnamon"}},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.set("XDG_CURRENT_DESKTOP", c.value);
        EXPECT_EQ(DesktopEntryReader::currentDesktopsFromEnvironment(), c.expected) << c.value.value_or("(unset)");
    }
}

} // namespace
} // namespace kestrel
