#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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

/// The shell command running the tool on `tree`, with what the output depends on pinned: the collation, and
/// the desktop entries found (only the fixture's).
std::string toolCommand(const test::TempTree& tree, const Strings& arguments)
{
    std::string command = "env LC_ALL=en_US.UTF-8 XDG_DATA_HOME=" + quoted(tree.path("data")) + " XDG_DATA_DIRS=/none "
                          + quoted(KESTRELPOINT_QUERY) + (arguments.empty() ? "" : " --bundle-root " + quoted(tree.root()));
    for (const std::string& argument : arguments)
        command += " " + quoted(argument);
    return command;
}

TEST(QueryTool, PrintsTheResultListAndWhatActivationWouldDo)
{
    test::TempTree tree;
    for (const char* name : {"Safari", "Archive Utility", "Calendar", "2+3 Solver", "Tab\tName", "New\nLine", "Back\\slash",
                             "Bad\xff"})
        tree.dir(std::string("Applications/") + name + ".app");
    const std::string editor = tree.write("data/applications/org.example.Editor.desktop", test::desktopEntry("Editor"));
    const std::string apps = tree.path("Applications/");
    const auto line = [&](const std::string& name) { return "application\t" + name + "\t" + apps + name + ".app\t\n"; };
    const std::string ar = line("Archive Utility") + line("Calendar") + line("Safari");
    const std::string editorLine = "application\tEditor\t" + editor + "\torg.example.Editor\n";
    const std::string usage =
        "usage: kestrelpoint-query [--bundle-root DIR] (--list | [--] TEXT [--select N] [--activate] | --watch [--] TEXT)\n";
    const std::string list = line("2+3 Solver") + line("Archive Utility") + line("Back\\\\slash") + line("Bad\xEF\xBF\xBD") +
                             line("Calendar") + editorLine + line("New\\nLine") + line("Safari") + line("Tab\\tName");
    struct Case { Strings arguments; int status; std::string out, err; };
    std::vector<Case> cases = {
        {{"--list"}, 0, list, ""}, {{""}, 0, list, ""},
        {{"AR", "--activate"}, 0, ar + "open\t" + apps + "Archive Utility.app\n", ""},
        {{"ar", "--select", "1", "--activate"}, 0, ar + "open\t" + apps + "Calendar.app\n", ""},
        {{"--select", "99", "--activate", "ar"}, 0, ar + "open\t" + apps + "Safari.app\n", ""},
        {{"ar", "--select", "-3", "--activate"}, 0, ar + "open\t" + apps + "Archive Utility.app\n", ""},
        {{"2+3", "--activate"}, 0, "calculation\t2+3 = 5\t5.0\n" + line("2+3 Solver") + "copy\t5.0\n", ""},
        {{"-5", "--activate"}, 0, "calculation\t-5 = -5\t-5.0\ncopy\t-5.0\n", ""},
        {{"--", "--activate"}, 0, "", ""}, // the text "--activate", nothing activated
        {{"zzz", "--activate"}, 0, "nothing\n", ""}, {{"zzz"}, 0, "", ""},
        {{"edit", "--activate"}, 0, editorLine + "open\t" + editor + "\n", ""},
        {{"w\nl", "--activate"}, 0, line("New\\nLine") + "open\t" + apps + "New\\nLine.app\n", ""},
        {{"--help"}, 0, usage, ""}, // followed by the options, one a line
    };
    for (const Strings& wrong : std::vector<Strings>{{}, {"--bogus"}, {"--list", "ar"}, {"ar", "b"}, {"ar", "--select"},
                                                     {"ar", "--select", "1x"}, {"ar", "--select", "99999999999999999999"},
                                                     {"ar", "--select", "1", "--select", "2"}, {"--watch", "ar", "--activate"},
                                                     {"--watch", "--list"}, {"--watch"}})
        cases.push_back({wrong, 2, "", usage});
    for (const Case& c : cases) {
        const std::string command = toolCommand(tree, c.arguments);
        SCOPED_TRACE(command);
        const int status = std::system((command + " >" + quoted(tree.path("out")) + " 2>" + quoted(tree.path("err"))).c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
        const std::string out = readAll(tree.path("out"));
        if (c.arguments == Strings{"--help"}) {
            EXPECT_EQ(out.substr(0, usage.size()), usage);
            EXPECT_NE(out.find("\n  --watch TEXT "), std::string::npos) << out;
        } else {
            EXPECT_EQ(out, c.out);
        }
        EXPECT_EQ(readAll(tree.path("err")), c.err);
    }
}

TEST(QueryTool, WatchPrintsTheListAgainAfterEveryCatalogueChange)
{
    test::TempTree tree;
    tree.write("data/applications/fig.desktop", test::desktopEntry("Fig"));
    // The shell prints its process number first, which the tool then takes over.
    FILE* const tool = ::popen(("echo $$; exec " + toolCommand(tree, {"--watch", "i"})).c_str(), "r");
    ASSERT_NE(tool, nullptr);
    std::string buffer;
    // The next block of output up to `end` (a list is ended by "--"), without it; "(none)" when none comes in 20 s.
    const auto next = [&](const std::string& end = "--\n") {
        for (const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);;) {
            if (const std::size_t at = buffer.find(end); at != std::string::npos) {
                const std::string block = buffer.substr(0, at);
                buffer.erase(0, at + end.size());
                return block;
            }
            pollfd readable{::fileno(tool), POLLIN, 0};
            char chunk[4096];
            if (std::chrono::steady_clock::now() > limit || ::poll(&readable, 1, 100) < 0)
                return std::string("(none)");
            const ssize_t length = readable.revents != 0 ? ::read(::fileno(tool), chunk, sizeof chunk) : 0;
            buffer.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
        }
    };
    const pid_t pid = std::atoi(next("\n").c_str());
    const std::string figLine = "application\tFig\t" + tree.path("data/applications/fig.desktop") + "\tfig\n";
    const std::string kiwiLine = "application\tKiwi\t" + tree.path("data/applications/kiwi.desktop") + "\tkiwi\n";
    EXPECT_EQ(next(), figLine);
    // Written under a temporary name and renamed: one list, with the entry once.
    tree.write("data/applications/kiwi.desktop.part", test::desktopEntry("Kiwi"));
    std::filesystem::rename(tree.path("data/applications/kiwi.desktop.part"), tree.path("data/applications/kiwi.desktop"));
    EXPECT_EQ(next(), figLine + kiwiLine);
    std::filesystem::remove(tree.path("data/applications/fig.desktop"));
    EXPECT_EQ(next(), kiwiLine);
    tree.dir("Applications/Lime.app");
    EXPECT_EQ(next(), kiwiLine + "application\tLime\t" + tree.path("Applications/Lime.app") + "\t\n");
    if (pid > 0)
        ::kill(pid, SIGTERM);
    ::pclose(tool);
}

} // namespace
} // namespace kestrel
