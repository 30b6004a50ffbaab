#include "catalog/DesktopEntryReader.h"

#include "catalog/DesktopEntryFields.h"
#include "catalog/ProgramFinder.h"
#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

using test::EnvironmentGuard;
using test::TempTree;
using Strings = std::vector<std::string>;

const std::string head = "[Desktop Entry]\nType=Application\n";

// Each file is read three ways: by the reader (the name it lists, or nothing), by the fast field parser
// (the fields GKeyFile reads), and, with at most one current desktop, by GIO's GDesktopAppInfo (the same
// verdict, except where the reader deliberately leaves out entries with nothing to run or no name).
TEST(DesktopEntryReader, ShowsWhatTheDesktopWouldShow)
{
    EnvironmentGuard environment;
    environment.set("LANGUAGE", std::nullopt);
    environment.set("LC_ALL", "C");
    const std::string app = head + "Name=App\n";
    struct Case {
        std::string content;
        Strings desktops;
        std::optional<std::string> name;
        bool gioAgrees = true;
    } const cases[] = {
        {"# c\n\n[Desktop Entry]\nExec=sh\n# x\nName=App\nType=Application", {}, "App"},
        {"[Desktop Entry]\nType=Link\nName=App\nURL=https://example.org\n", {}, std::nullopt},
        {"[Desktop Entry]\nName=App\nExec=sh\n", {}, std::nullopt},
        {"[Other]\nA=b\n" + app + "Exec=sh\n", {}, std::nullopt}, {app + "Exec=sh\nNoDisplay=true\n", {}, std::nullopt},
        {app + "Exec=sh\nHidden=1\n", {}, std::nullopt}, {app + "Exec=sh\nHidden=yes\nNoDisplay=True\n", {}, "App"},
        {app + "Exec=sh\nOnlyShowIn=GNOME;\n", {}, std::nullopt},
        {app + "Exec=sh\nOnlyShowIn=KDE;GNOME;\n", {"GNOME"}, "App"},
        {app + "Exec=sh\nOnlyShowIn=\n", {"GNOME"}, std::nullopt},
        {app + "Exec=sh\nNotShowIn=KDE;;\n", {"KDE"}, std::nullopt},
        {app + "Exec=sh\nNotShowIn=KDE;\n", {"GNOME"}, "App"},
        {app + "Exec=sh\nOnlyShowIn=GNOME;\nNotShowIn=KDE;\n", {"KDE", "GNOME"}, std::nullopt},
        {app + "Exec=sh\nOnlyShowIn=GNOME;\nNotShowIn=KDE;\n", {"GNOME", "KDE"}, "App"},
        {app + "Exec=sh\nTryExec=kestrel-no-such-program\n", {}, std::nullopt},
        {app + "Exec=sh\nTryExec=/bin/sh\n", {}, "App"}, {app + "Exec=kestrel-no-such-program %U\n", {}, std::nullopt},
        {app + "Exec=\"/bin/sh\" -c \"x=1\" %f\n", {}, "App"}, {app + "Exec=\"sh -c\n", {}, std::nullopt},
        {app, {}, std::nullopt, false}, {app + "DBusActivatable=true\n", {}, "App"},
        {head + "Name=\nExec=sh\n", {}, std::nullopt, false},
        {head + "Name=Caf\xE9\nName[de]=Gut\nExec=sh\n", {}, std::nullopt, false},
        {head + "Name=Two\\sWords\nExec=sh\n", {}, "Two Words"}, {head + "Name=A\nName=B\nExec=sh\n", {}, "B"},
        {head + "Name=A \nExec=sh \n", {}, "A "},
        {head + "Name=A\n[Other]\n[Desktop Entry]\nName=B\nExec=sh\n", {}, "B"},
        {"\xEF\xBB\xBF" + head + "Name=A\nExec=sh\n", {}, std::nullopt},
        {head + "Name=A\nExec=sh\nName[d e]=x\n", {}, std::nullopt},
        {head + "Name=A\nExec=sh\nOnlyShowIn=\xFF;\n", {}, "A"},
    };
    TempTree tree;
    int files = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        const auto entry = DesktopEntryReader(c.desktops).parse(c.content);
        EXPECT_EQ(entry ? std::optional<std::string>(entry->name) : std::nullopt, c.name);
        EXPECT_EQ(DesktopEntryFields::parse(c.content, {"[de]"}), DesktopEntryFields::parseWithKeyFile(c.content, {"[de]"}));
        if (c.desktops.size() > 1)
            continue; // GIO reads the current desktops once per process
        const std::string path = tree.write(std::to_string(files++) + ".desktop", c.content);
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.c_str());
        const bool gioShows = info && !g_desktop_app_info_get_is_hidden(info) && !g_desktop_app_info_get_nodisplay(info)
                              && g_desktop_app_info_get_show_in(info, c.desktops.empty() ? "" : c.desktops[0].c_str());
        EXPECT_EQ(gioShows && c.gioAgrees, c.name.has_value());
        if (info)
            g_object_unref(info);
    }
}

TEST(DesktopEntryReader, NameAndIconFollowTheMessagesLocale)
{
    const std::string content = head + "Exec=sh\nName=Tree\nName[de]=Baum\nName[de_CH]=Baum CH\nName[fr]=Arbre\n"
                                       "Name[pt]=\xFF\nIcon=tree.png\nIcon[de]=/opt/baum.png\n";
    using Variable = std::optional<std::string>;
    const std::tuple<Variable, Variable, Variable, Variable, std::string> cases[] = {
        // LANGUAGE, LC_ALL, LC_MESSAGES, LANG: the name and icon shown
        {{}, {}, {}, {}, "Tree tree"}, {{}, "de_CH.UTF-8", {}, {}, "Baum CH /opt/baum.png"},
        {{}, {}, "de_AT.UTF-8", "fr_FR.UTF-8", "Baum /opt/baum.png"},
        {"fr:de", "de_DE.UTF-8", {}, {}, "Arbre /opt/baum.png"},
        {{}, "pt_BR.UTF-8", {}, {}, "Tree tree"}, // the translation is not UTF-8
    };
    for (const auto& [language, lcAll, lcMessages, lang, expected] : cases) {
        EnvironmentGuard environment;
        environment.set("LANGUAGE", language);
        environment.set("LC_ALL", lcAll);
        environment.set("LC_MESSAGES", lcMessages);
        environment.set("LANG", lang);
        const auto entry = DesktopEntryReader({}).parse(content);
        EXPECT_EQ(entry ? entry->name + " " + entry->icon : "not shown", expected);
    }
}

TEST(DesktopEntryReader, CurrentDesktopsAreTheNonEmptyNamesOfTheVariable)
{
    const std::pair<std::optional<std::string>, Strings> cases[] = {
        {std::nullopt, {}}, {"", {}}, {"GNOME", {"GNOME"}}, {"ubuntu:GNOME", {"ubuntu", "GNOME"}}, {":KDE::x:", {"KDE", "x"}},
    };
    for (const auto& [value, expected] : cases) {
        EnvironmentGuard environment;
        environment.set("XDG_CURRENT_DESKTOP", value);
        EXPECT_EQ(DesktopEntryReader::currentDesktopsFromEnvironment(), expected) << value.value_or("(unset)");
    }
}

// The finder stands in for g_find_program_in_path(); on the same tree and PATH both must answer alike.
TEST(ProgramFinder, AnswersAsGLibDoes)
{
    TempTree tree;
    for (const auto& [file, mode] : {std::pair<std::string, mode_t>{"a/tool", 0755}, {"a/plain", 0644}, {"b/plain", 0755},
                                     {"b/dir", 0755}, {"b/group-only", 010}, {"cwd/here", 0755}})
        ::chmod(tree.write(file, "#!/bin/sh\n").c_str(), mode);
    tree.dir("a/dir");
    const std::string oldDirectory = std::filesystem::current_path();
    std::filesystem::current_path(tree.path("cwd"));
    for (const std::optional<std::string>& path : {std::optional<std::string>(tree.path("a") + ":" + tree.path("b")),
                                                   std::optional<std::string>(tree.path("b") + "::" + tree.path("a")),
                                                   std::optional<std::string>(), std::optional<std::string>("")}) {
        EnvironmentGuard environment;
        environment.set("PATH", path);
        ProgramFinder finder;
        for (const std::string program : {"tool", "plain", "dir", "group-only", "here", "./here", "a/tool", "sh", "none"}) {
            const std::unique_ptr<char, decltype(&g_free)> found(g_find_program_in_path(program.c_str()), g_free);
            EXPECT_EQ(finder.isAvailable(program), found != nullptr) << program << " with PATH " << path.value_or("(unset)");
        }
    }
    std::filesystem::current_path(oldDirectory);
}

} // namespace
} // namespace kestrel
