#include "app/FixtureTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using testing::FixtureTree;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Runs the query tool with `arguments` in a small, fixed environment that points it at the fixture.
Outcome runQuery(const FixtureTree& tree, const std::vector<std::string>& arguments)
{
    const std::string root = tree.root().string();
    std::vector<std::string> environment = {
        "LC_ALL=en_US.UTF-8", "HOME=" + root, "PATH=/usr/bin:/bin", "XDG_DATA_HOME=" + root + "/data",
        "XDG_DATA_DIRS=" + root + "/no-such-dir"};
    for (const char* pass : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* value = std::getenv(pass)) {
            environment.push_back(std::string(pass) + "=" + value);
        }
    }
    std::vector<std::string> argv = {KESTRELPOINT_QUERY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    std::vector<char*> argvPointers;
    for (std::string& a : argv) {
        argvPointers.push_back(a.data());
    }
    argvPointers.push_back(nullptr);
    std::vector<char*> environmentPointers;
    for (std::string& e : environment) {
        environmentPointers.push_back(e.data());
    }
    environmentPointers.push_back(nullptr);

    const std::string outPath = root + "/stdout.txt";
    const std::string errPath = root + "/stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(127);
        }
        execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
        _exit(127);
    }
    Outcome outcome;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        outcome.status = WEXITSTATUS(status);
    }
    outcome.out = readAll(outPath);
    outcome.err = readAll(errPath);
    return outcome;
}

class QueryToolTest : public ::testing::Test {
protected:
    QueryToolTest()
    {
        for (const char* name : {"Safari", "Archive Utility", "Calendar", "2+3 Solver", "Tab\tName", "New\nLine",
                                 "Back\\slash", "Bad\xff"}) {
            tree.addBundle(name);
        }
        tree.writeFile("data/applications/org.example.Editor.desktop",
                       "[Desktop Entry]\nType=Application\nName=Editor\nExec=/bin/sh\n");
    }

    /// The line of the bundle `<file>.app`, shown under `name` (escaped forms for both).
    std::string bundleLine(const std::string& name, const std::string& file) const
    {
        return "application\t" + name + "\t" + bundles() + file + ".app\t\n";
    }
    std::string bundles() const { return tree.bundleRoot() + "/Applications/"; }
    std::string editorPath() const { return tree.root().string() + "/data/applications/org.example.Editor.desktop"; }

    Outcome query(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {"--bundle-root", tree.bundleRoot()});
        return runQuery(tree, arguments);
    }

    FixtureTree tree;
};

TEST_F(QueryToolTest, ListPrintsTheCatalogueWithEscapedFields)
{
    const Outcome outcome = query({"--list"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    const std::string expected = bundleLine("2+3 Solver", "2+3 Solver") +
                                 bundleLine("Archive Utility", "Archive Utility") +
                                 bundleLine("Back\\\\slash", "Back\\\\slash") +
                                 bundleLine("Bad\xEF\xBF\xBD", "Bad\xEF\xBF\xBD") +
                                 bundleLine("Calendar", "Calendar") +
                                 "application\tEditor\t" + editorPath() + "\torg.example.Editor\n" +
                                 bundleLine("New\\nLine", "New\\nLine") + bundleLine("Safari", "Safari") +
                                 bundleLine("Tab\\tName", "Tab\\tName");
    EXPECT_EQ(outcome.out, expected);

    // The empty text lists the same catalogue.
    EXPECT_EQ(query({""}).out, expected);
}

TEST_F(QueryToolTest, SearchSelectAndActivate)
{
    const std::string ar =
        bundleLine("Archive Utility", "Archive Utility") + bundleLine("Calendar", "Calendar") + bundleLine("Safari", "Safari");
    const std::string sum = "calculation\t2+3 = 5\t5.0\n" + bundleLine("2+3 Solver", "2+3 Solver");
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"ar"}, ar},
        {{"AR", "--activate"}, ar + "open\t" + bundles() + "Archive Utility.app\n"},
        {{"ar", "--select", "1", "--activate"}, ar + "open\t" + bundles() + "Calendar.app\n"},
        {{"ar", "--select", "99", "--activate"}, ar + "open\t" + bundles() + "Safari.app\n"},
        {{"ar", "--select", "-3", "--activate"}, ar + "open\t" + bundles() + "Archive Utility.app\n"},
        {{"--select", "2", "--activate", "ar"}, ar + "open\t" + bundles() + "Safari.app\n"},
        {{"ar", "--select", "2"}, ar},
        {{"2+3"}, sum},
        {{"2+3", "--activate"}, sum + "copy\t5.0\n"},
        {{"2+3", "--select", "1", "--activate"}, sum + "open\t" + bundles() + "2+3 Solver.app\n"},
        {{"0.1+0.2", "--activate"}, "calculation\t0.1+0.2 = 0.3\t0.30000000000000004\ncopy\t0.30000000000000004\n"},
        {{"-5", "--activate"}, "calculation\t-5 = -5\t-5.0\ncopy\t-5.0\n"},
        {{"--", "--activate"}, ""},
        {{"zzz", "--activate"}, ""},
        {{"1/0", "--activate"}, ""},
        {{"edit", "--activate"}, "application\tEditor\t" + editorPath() + "\torg.example.Editor\nopen\t" + editorPath() + "\n"},
        {{"b\tn"}, bundleLine("Tab\\tName", "Tab\\tName")},
        {{"k\\"}, bundleLine("Back\\\\slash", "Back\\\\slash")},
        {{"w\nl", "--activate"}, bundleLine("New\\nLine", "New\\nLine") + "open\t" + bundles() + "New\\nLine.app\n"},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& a : c.arguments) {
            trace += "[" + a + "] ";
        }
        SCOPED_TRACE(trace);
        const Outcome outcome = query(c.arguments);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, c.expected);
        EXPECT_EQ(outcome.err, "");
    }
}

TEST_F(QueryToolTest, BadArgumentsGiveOneUsageLineAndStatusTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus"},
        {"ar", "--bogus"},
        {"--list", "ar"},
        {"--list", "--activate"},
        {"--list", "--list"},
        {"ar", "b"},
        {"ar", "--select"},
        {"ar", "--select", "x"},
        {"ar", "--select", "1x"},
        {"ar", "--select", ""},
        {"ar", "--select", "99999999999999999999"},
        {"ar", "--select", "1", "--select", "2"},
        {"--select", "1"},
        {"--activate"},
        {"--bundle-root"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        std::string trace;
        for (const std::string& a : arguments) {
            trace += "[" + a + "] ";
        }
        SCOPED_TRACE(trace);
        const Outcome outcome = runQuery(tree, arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err.rfind("usage: ", 0), 0u);
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1);
    }

    const Outcome help = runQuery(tree, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: ", 0), 0u);
}

} // namespace
} // namespace kestrel
