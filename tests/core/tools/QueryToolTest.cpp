#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using Strings = std::vector<std::string>;

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(QueryTool, PrintsTheResultListAndWhatActivationWouldDo)
{
    test::TempTree tree;
    for (const char* name : {"Safari", "Archive Utility", "Calendar", "2+3 Solver", "Tab\tName", "New\nLine", "Back\\slash",
                             "Bad\xff"})
        tree.dir(std::string("Applications/") + name + ".app");
    const std::string editor =
        tree.write("data/applications/org.example.Editor.desktop", "[Desktop Entry]\nType=Application\nName=Editor\nExec=/bin/sh\n");
    const std::string apps = tree.path("Applications/");
    const auto line = [&](const std::string& name) { return "application\t" + name + "\t" + apps + name + ".app\t\n"; };
    const std::string ar = line("Archive Utility") + line("Calendar") + line("Safari");
    const std::string editorLine = "application\tEditor\t" + editor + "\torg.example.Editor\n";
    const std::string usage = "usage: kestrelpoint-query [--bundle-root DIR] (--list | [--] TEXT [--select N] [--activate])\n";
    const std::string list = line("2+3 Solver") + line("Archive Utility") + line("Back\\\\slash") + line("Bad\xEF\xBF\xBD") +
                             line("Calendar") + editorLine + line("New\\nLine") + line("Safari") + line("Tab\\tName");
    struct Case {
        Strings arguments;
        int status;
        std::string out, err;
    } const cases[] = {
        {{"--list"}, 0, list, ""},
        {{""}, 0, list, ""},
        {{"AR", "--activate"}, 0, ar + "open\t" + apps + "Archive Utility.app\n", ""},
        {{"ar", "--select", "1", "--activate"}, 0, ar + "open\t" + apps + "Calendar.app\n", ""},
        {{"--select", "99", "--activate", "ar"}, 0, ar + "open\t" + apps + "Safari.app\n", ""},
        {{"ar", "--select", "-3", "--activate"}, 0, ar + "open\t" + apps + "Archive Utility.app\n", ""},
        {{"2+3", "--activate"}, 0, "calculation\t2+3 = 5\t5.0\n" + line("2+3 Solver") + "copy\t5.0\n", ""},
        {{"-5", "--activate"}, 0, "calculation\t-5 = -5\t-5.0\ncopy\t-5.0\n", ""},
        {{"--", "--activate"}, 0, "", ""}, // the text "--activate", nothing activated
        {{"zzz", "--activate"}, 0, "nothing\n", ""},
        {{"zzz"}, 0, "", ""},
        {{"edit", "--activate"}, 0, editorLine + "open\t" + editor + "\n", ""},
        {{"w\nl", "--activate"}, 0, line("New\\nLine") + "open\t" + apps + "New\\nLine.app\n", ""},
        {{"--help"}, 0, usage, ""},
        {{}, 2, "", usage},
        {{"--bogus"}, 2, "", usage},
        {{"--list", "ar"}, 2, "", usage},
        {{"ar", "b"}, 2, "", usage},
        {{"ar", "--select"}, 2, "", usage},
        {{"ar", "--select", "1x"}, 2, "", usage},
        {{"ar", "--select", "99999999999999999999"}, 2, "", usage},
        {{"ar", "--select", "1", "--select", "2"}, 2, "", usage},
    };
    for (const Case& c : cases) {
        // Pins what the output depends on: the collation, and the desktop entries found (only the fixture's).
        std::string command = "env LC_ALL=en_US.UTF-8 XDG_DATA_HOME=" + quoted(tree.path("data")) + " XDG_DATA_DIRS=/none "
                              + quoted(KESTRELPOINT_QUERY) + (c.arguments.empty() ? "" : " --bundle-root " + quoted(tree.root()));
        std::string trace;
        for (const std::string& argument : c.arguments) {
            command += " " + quoted(argument);
            trace += "[" + argument + "] ";
        }
        SCOPED_TRACE(trace);
        const int status = std::system((command + " >" + quoted(tree.path("out")) + " 2>" + quoted(tree.path("err"))).c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
        EXPECT_EQ(readAll(tree.path("out")), c.out);
        EXPECT_EQ(readAll(tree.path("err")), c.err);
    }
}

} // namespace
} // namespace kestrel
