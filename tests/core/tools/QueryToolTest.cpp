#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

using Strings = std::vector<std::string>;

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// The shell command running the tool on `tree` with `arguments` (none holding a quote), its output going
/// to out and err in the tree, with what the output depends on pinned: the collation, and the desktop
/// entries found (the tree's).
std::string toolCommand(const test::TempTree& tree, const Strings& arguments)
{
    std::string command = "env LC_ALL=en_US.UTF-8 XDG_DATA_HOME=" + tree.path("data") + " XDG_DATA_DIRS=/none "
                          + KESTRELPOINT_QUERY + (arguments.empty() ? "" : " --bundle-root " + tree.root());
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    return command + " >" + tree.path("out") + " 2>" + tree.path("err");
}

TEST(QueryTool, PrintsTheResultListAndWhatActivationWouldDo)
{
    test::TempTree tree;
    for (const char* name :
         {"Safari", "Archive Utility", "Calendar", "2+3 Solver", "Tab\tName", "New\nLine", "Back\\slash", "Bad\xff"})
        tree.dir(std::string("Applications/") + name + ".app");
    const std::string editor = tree.write("data/applications/org.example.Editor.desktop", test::desktopEntry("Editor"));
    const std::string apps = tree.path("Applications/");
    const auto line = [&](const std::string& name) { return "application\t" + name + "\t" + apps + name + ".app\t\n"; };
    const std::string ar = line("Archive Utility") + line("Calendar") + line("Safari");
    // Fields escaped, invalid UTF-8 replaced; a desktop entry's identifier in the last field.
    const std::string list = line("2+3 Solver") + line("Archive Utility") + line("Back\\\\slash")
                             + line("Bad\xEF\xBF\xBD") + line("Calendar") + "application\tEditor\t" + editor
                             + "\torg.example.Editor\n" + line("New\\nLine") + line("Safari") + line("Tab\\tName");
    const auto run = [&](const Strings& arguments) {
        const int status = std::system(toolCommand(tree, arguments).c_str());
        const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return std::tuple(exitStatus, readAll(tree.path("out")), readAll(tree.path("err")));
    };
    const std::pair<Strings, std::string> cases[] = {
        {{"--list"}, list},
        {{"AR", "--activate"}, ar + "open\t" + apps + "Archive Utility.app\n"},
        {{"--select", "99", "--activate", "ar"}, ar + "open\t" + apps + "Safari.app\n"},
        {{"ar", "--select", "-3", "--activate"}, ar + "open\t" + apps + "Archive Utility.app\n"},
        {{"2+3", "--activate"}, "calculation\t2+3 = 5\t5.0\n" + line("2+3 Solver") + "copy\t5.0\n"},
        {{"-5", "--activate"}, "calculation\t-5 = -5\t-5.0\ncopy\t-5.0\n"}, // "-5" is a text
        {{"--", "--activate"}, ""},                                         // the text "--activate"
        {{"zzz", "--activate"}, "nothing\n"},
    };
    for (const auto& [arguments, out] : cases)
        EXPECT_EQ(run(arguments), std::tuple(0, out, "")) << toolCommand(tree, arguments);
    // clang-format off
    const Strings wrong[] = {{}, {"--bogus"}, {"--list", "ar"}, {"ar", "b"}, {"ar", "--select"}, {"ar", "--select", "1x"},
                             {"ar", "--select", "99999999999999999999"}, {"ar", "--select", "1", "--select", "2"},
                             {"--watch", "ar", "--activate"}, {"--watch"}};
    // clang-format on
    for (const Strings& arguments : wrong) {
        const auto [status, out, err] = run(arguments);
        EXPECT_EQ(std::tuple(status, out, err.substr(0, 7)), std::tuple(2, "", "usage: "))
            << toolCommand(tree, arguments);
    }
}

// Each list is followed by "--", and printed again once the catalogue has changed.
TEST(QueryTool, WatchPrintsTheListAgainAfterEveryCatalogueChange)
{
    test::TempTree tree;
    tree.dir("Applications/Fig.app");
    ASSERT_EQ(std::system((toolCommand(tree, {"--watch", "i"}) + " & echo $! >" + tree.path("pid")).c_str()), 0);
    const auto printed = [&](const std::string& expected) {
        for (const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             readAll(tree.path("out")) != expected && std::chrono::steady_clock::now() < limit;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return readAll(tree.path("out"));
    };
    const std::string fig = "application\tFig\t" + tree.path("Applications/Fig.app") + "\t\n";
    EXPECT_EQ(printed(fig + "--\n"), fig + "--\n");
    tree.write("data/applications/kiwi.desktop", test::desktopEntry("Kiwi"));
    const std::string kiwi = "application\tKiwi\t" + tree.path("data/applications/kiwi.desktop") + "\tkiwi\n";
    const std::string again = fig + "--\n" + fig + kiwi + "--\n";
    EXPECT_EQ(printed(again), again);
    ::kill(std::stoi(readAll(tree.path("pid"))), SIGTERM);
}

} // namespace
} // namespace kestrel
