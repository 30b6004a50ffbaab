#include "catalog/DesktopEntryReader.h"

#include "catalog/DesktopEntryFields.h"
#include "catalog/ProgramFinder.h"
#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <glib.h>
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
using Strings = std::vector<std::string>;
using Variable = std::optional<std::string>;

const std::string head = "[Desktop Entry]\nType=Application\n";

// Each file is read by the reader (the name it lists, or nothing) and by both field parsers, the fast one
// and GKeyFile, which must agree.
TEST(DesktopEntryReader, ListsWhatTheDesktopWouldShow)
{
    EnvironmentGuard environment;
    environment.set("LANGUAGE", nullptr);
    environment.set("LC_ALL", "C");
    const std::string app = head + "Name=App\n";
    const std::tuple<std::string, Strings, Variable> cases[] = { // content, current desktops, name listed
        {"# c\n\n[Desktop Entry]\nExec=sh\n# x\nName=App\nType=Application", {}, "App"},
        {"[Desktop Entry]\nType=Link\nName=App\nURL=https://example.org\n", {}, {}},
        {"[Desktop Entry]\nName=App\nExec=sh\n", {}, {}}, {"[Other]\nA=b\n" + app + "Exec=sh\n", {}, {}},
        {app + "Exec=sh\n[Desktop Action new]\nNoDisplay=true\nExec=kestrel-no-such-program\n", {}, "App"},
        {app + "Exec=sh\nNoDisplay=true\n", {}, {}}, {app + "Exec=sh\nHidden=1\n", {}, {}},
        {app + "Exec=sh\nHidden=yes\nNoDisplay=True\n", {}, "App"}, {app + "Exec=sh\nOnlyShowIn=GNOME;\n", {}, {}},
        {app + "Exec=sh\nOnlyShowIn=KDE;GNOME;\n", {"GNOME"}, "App"}, {app + "Exec=sh\nOnlyShowIn=\n", {"GNOME"}, {}},
        {app + "Exec=sh\nNotShowIn=KDE;;\n", {"KDE"}, {}}, {app + "Exec=sh\nNotShowIn=KDE;\n", {"GNOME"}, "App"},
        {app + "Exec=sh\nOnlyShowIn=GNOME;\nNotShowIn=KDE;\n", {"KDE", "GNOME"}, {}}, // the first desktop decides
        {app + "Exec=sh\nOnlyShowIn=GNOME;\nNotShowIn=KDE;\n", {"GNOME", "KDE"}, "App"},
        {app + "Exec=sh\nTryExec=kestrel-no-such-program\n", {}, {}}, {app + "Exec=sh\nTryExec=/bin/sh\n", {}, "App"},
        {app + "Exec=kestrel-no-such-program %U\n", {}, {}}, {app + "Exec=\"/bin/sh\" -c \"x=1\" %f\n", {}, "App"},
        {app + "Exec=\"sh -c\n", {}, {}}, {app, {}, {}}, {app + "DBusActivatable=true\n", {}, "App"},
        {head + "Name=\nExec=sh\n", {}, {}}, {head + "Name=Caf\xE9\nName[de]=Gut\nExec=sh\n", {}, {}},
        {head + "Name=Two\\sWords\nExec=sh\n", {}, "Two Words"}, {head + "Name=A\nName=B\nExec=sh\n", {}, "B"},
        {head + "Name=A \nExec=sh \n", {}, "A "}, {head + "Name=A\n[Other]\n[Desktop Entry]\nName=B\nExec=sh\n", {}, "B"},
        {"\xEF\xBB\xBF" + head + "Name=A\nExec=sh\n", {}, {}}, {head + "Name=A\nExec=sh\nName[d e]=x\n", {}, {}},
        {head + "Name=A\nExec=sh\nOnlyShowIn=\xFF;\n", {}, "A"},
    };
    for (const auto& [content, desktops, name] : cases) {
        SCOPED_TRACE(content);
        const auto entry = DesktopEntryReader(desktops).parse(content);
        EXPECT_EQ(entry ? Variable(entry->name) : std::nullopt, name);
        EXPECT_EQ(DesktopEntryFields::parse(content, {"[de]"}), DesktopEntryFields::parseWithKeyFile(content, {"[de]"}));
    }
}

TEST(DesktopEntryReader, NameAndIconFollowTheMessagesLocale)
{
    const std::string content = head + "Exec=sh\nName=Tree\nName[de]=Baum\nName[de_CH]=Baum CH\nName[fr]=Arbre\n"
                                       "Name[pt]=\xFF\nIcon=tree.png\nIcon[de]=/opt/baum.png\n";
    const std::tuple<Variable, const char*, std::string> cases[] = { // LANGUAGE, LC_ALL: the name and icon shown
        {{}, "de_CH.UTF-8", "Baum CH /opt/baum.png"}, {"fr:de", "de_DE.UTF-8", "Arbre /opt/baum.png"},
        {{}, "pt_BR.UTF-8", "Tree tree"}, // the translation is not UTF-8
    };
    for (const auto& [language, lcAll, expected] : cases) {
        EnvironmentGuard environment;
        environment.set("LANGUAGE", language);
        environment.set("LC_ALL", lcAll);
        const auto entry = DesktopEntryReader({}).parse(content);
        EXPECT_EQ(entry ? entry->name + " " + entry->icon : "not shown", expected);
    }
}

// The finder stands in for g_find_program_in_path(); on the same tree and PATH both must answer alike.
TEST(ProgramFinder, AnswersAsGLibDoes)
{
    test::TempTree tree;
    for (const auto& [file, mode] :
         {std::pair<std::string, mode_t>{"a/tool", 0755}, {"a/plain", 0644}, {"b/plain", 0755}, {"b/dir", 0755}, {"cwd/here", 0755}})
        ::chmod(tree.write(file, "#!/bin/sh\n").c_str(), mode);
    tree.dir("a/dir");
    const std::string oldDirectory = std::filesystem::current_path();
    std::filesystem::current_path(tree.path("cwd"));
    for (const Variable& path : {Variable(tree.path("a") + "::" + tree.path("b")), Variable()}) {
        EnvironmentGuard environment;
        environment.set("PATH", path);
        ProgramFinder finder;
        for (const std::string program : {"tool", "plain", "dir", "here", "./here", "a/tool", "sh", "none"}) {
            const std::unique_ptr<char, decltype(&g_free)> found(g_find_program_in_path(program.c_str()), g_free);
            EXPECT_EQ(finder.isAvailable(program), found != nullptr) << program << " with PATH " << path.value_or("(unset)");
        }
    }
    std::filesystem::current_path(oldDirectory);
}

} // namespace
} // namespace kestrel
