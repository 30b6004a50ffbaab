#include "catalog/DesktopEntryReader.h"

#include "catalog/DesktopEntryFields.h"
#include "support/EnvironmentGuard.h"

#include <gtest/gtest.h>

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
// and GKeyFile, which must agree. Translations are looked up for the languages of LANGUAGE, in order.
TEST(DesktopEntryReader, ListsWhatTheDesktopWouldShow)
{
    EnvironmentGuard environment;
    environment.set("LANGUAGE", "de_CH:de");
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
        {app + "Exec=/etc/passwd\n", {}, {}}, {app + "Exec=/ %f\n", {}, {}}, // not executable, a directory
        {app + "Exec=\"sh -c\n", {}, {}}, {app, {}, {}}, {app + "DBusActivatable=true\n", {}, "App"},
        {head + "Name=\nExec=sh\n", {}, {}}, {head + "Name=Caf\xE9\nExec=sh\n", {}, {}},
        {head + "Name=Caf\xE9\nName[de]=Baum\nName[de_CH]=Baum CH\nExec=sh\n", {}, "Baum CH"}, // the first language first
        {head + "Name=Tree\nName[de]=\xFF\nExec=sh\n", {}, "Tree"}, // a translation that is not UTF-8 is passed over
        {head + "Name=Two\\sWords\nExec=sh\n", {}, "Two Words"}, {head + "Name=A\nName=B\nExec=sh\n", {}, "B"},
        {head + "Name=A \nExec=sh \n", {}, "A "}, {head + "Name=A\n[Other]\n[Desktop Entry]\nName=B\nExec=sh\n", {}, "B"},
        {"\xEF\xBB\xBF" + head + "Name=A\nExec=sh\n", {}, {}}, {head + "Name=A\nExec=sh\nName[d e]=x\n", {}, {}},
        {head + "Name=A\nExec=sh\nOnlyShowIn=\xFF;\n", {}, "A"},
    };
    for (const auto& [content, desktops, name] : cases) {
        SCOPED_TRACE(content);
        const auto entry = DesktopEntryReader(desktops).parse(content);
        EXPECT_EQ(entry ? Variable(entry->name) : std::nullopt, name);
        EXPECT_EQ(DesktopEntryFields::parse(content, {"[de_CH]", "[de]"}),
                  DesktopEntryFields::parseWithKeyFile(content, {"[de_CH]", "[de]"}));
    }
}

} // namespace
} // namespace kestrel
