#include "catalog/ProgramFinder.h"

#include "catalog/CatalogFixture.h"

#include <dirent.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using testing::ScopedEnvironment;
using testing::TempTree;

// The finder stands in for g_find_program_in_path(); on the same tree and PATH both must answer alike.
TEST(ProgramFinder, AnswersAsGLibDoes)
{
    TempTree tree;
    auto executable = [&](const std::string& relative) {
        const std::string path = tree.writeFile(relative, "#!/bin/sh\n");
        ::chmod(path.c_str(), 0755);
    };
    executable("first/tool");
    tree.writeFile("first/plain", "not executable");
    executable("second/plain");
    tree.makeDirectory("first/dironly");
    executable("second/dironly");
    tree.makeDirectory("first/onlydir");
    executable("second/group-only");
    ::chmod(tree.path("second/group-only").c_str(), 0010);
    executable("cwd/here");
    tree.makeSymlink(tree.path("first/tool"), "second/linked");
    tree.makeSymlink(tree.path("nowhere"), "second/dangling");

    const std::string first = tree.path("first");
    const std::string second = tree.path("second");
    const std::vector<std::optional<std::string>> paths = {
        first + ":" + second,
        second + ":" + first,
        first + "::" + second, // an empty element is the current directory
        tree.path("missing") + ":" + second,
        std::string(),
        std::nullopt, // unset: GLib's default
    };
    const std::vector<std::string> programs = {"tool",   "plain",  "dironly", "onlydir",       "group-only",
                                               "linked", "dangling", "here", "./here",       tree.path("first/tool"),
                                               tree.path("first/plain"), tree.path("first"), "first/tool", "sh",
                                               "no-such-program"};
    const std::unique_ptr<char, decltype(&g_free)> oldDirectory(g_get_current_dir(), g_free);
    ASSERT_EQ(::chdir(tree.path("cwd").c_str()), 0);
    for (const auto& path : paths) {
        ScopedEnvironment environment;
        environment.set("PATH", path);
        ProgramFinder finder;
        for (const std::string& program : programs) {
            const std::unique_ptr<char, decltype(&g_free)> found(g_find_program_in_path(program.c_str()), g_free);
            EXPECT_EQ(finder.isAvailable(program), found != nullptr) << program << " with PATH " << path.value_or("(unset)");
            EXPECT_EQ(finder.isAvailable(program), found != nullptr) << program << " asked again";
        }
    }
    ASSERT_EQ(::chdir(oldDirectory.get()), 0);
}

// A PATH directory that may be searched but not listed (mode 0711) still provides its programs.
TEST(ProgramFinder, SearchesDirectoriesItCannotList)
{
    TempTree tree;
    const std::string program = tree.writeFile("hidden/tool", "#!/bin/sh\n");
    ::chmod(program.c_str(), 0755);
    ::chmod(tree.path("hidden").c_str(), 0711);
    const std::string result = testing::runWithoutRootPrivileges([&] {
        ProgramFinder finder(tree.path("hidden"));
        DIR* probe = ::opendir(tree.path("hidden").c_str());
        const std::string listing = probe ? "listable" : "unlistable";
        if (probe)
            ::closedir(probe);
        return listing + (finder.isAvailable("tool") ? " found" : " missing")
               + (finder.isAvailable("other") ? " other-found" : " other-missing");
    });
    EXPECT_EQ(result, "unlistable found other-missing");
}

} // namespace
} // namespace kestrel
