#include "catalog/DesktopFileScanner.h"

#include "catalog/CatalogFixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using testing::TempTree;

// ID -> path (relative to the tree), whatever the listing order.
std::map<std::string, std::string> scanned(const TempTree& tree, const std::vector<std::string>& directories)
{
    std::vector<std::string> absolute;
    for (const std::string& directory : directories)
        absolute.push_back(tree.path(directory));
    std::map<std::string, std::string> result;
    for (const DesktopFile& file : DesktopFileScanner::scan(absolute)) {
        const bool unique = result.emplace(file.id, file.path.substr(tree.root().size() + 1)).second;
        EXPECT_TRUE(unique) << "ID listed twice: " << file.id;
    }
    return result;
}

TEST(DesktopFileScanner, IdsFollowTheSubdirectoryRule)
{
    TempTree tree;
    tree.writeFile("apps/top.desktop", "");
    tree.writeFile("apps/kde/konsole.desktop", "");
    tree.writeFile("apps/vendor/sub/deep.desktop", "");
    tree.writeFile("apps/.hidden.desktop", "");
    tree.writeFile("apps/readme.txt", "");
    tree.writeFile("apps/top.desktop~", "");
    tree.writeFile("apps/mimeinfo.cache", "");
    tree.makeDirectory("apps/dir.desktop"); // named like an entry: taken as one (and masks), not entered

    EXPECT_EQ(scanned(tree, {"apps"}), (std::map<std::string, std::string>{
                                           {".hidden.desktop", "apps/.hidden.desktop"},
                                           {"dir.desktop", "apps/dir.desktop"},
                                           {"kde-konsole.desktop", "apps/kde/konsole.desktop"},
                                           {"top.desktop", "apps/top.desktop"},
                                           {"vendor-sub-deep.desktop", "apps/vendor/sub/deep.desktop"},
                                       }));
}

TEST(DesktopFileScanner, FirstDirectoryProvidingAnIdWins)
{
    TempTree tree;
    tree.writeFile("home/firefox.desktop", "");
    tree.writeFile("local/firefox.desktop", "");
    tree.writeFile("local/kde/konsole.desktop", "");
    tree.writeFile("system/kde-konsole.desktop", "");
    tree.writeFile("system/gedit.desktop", "");
    tree.writeFile("system/firefox.desktop", "");

    EXPECT_EQ(scanned(tree, {"home", "missing", "local", "system"}),
              (std::map<std::string, std::string>{
                  {"firefox.desktop", "home/firefox.desktop"},
                  {"kde-konsole.desktop", "local/kde/konsole.desktop"},
                  {"gedit.desktop", "system/gedit.desktop"},
              }));

    // Precedence order is also the output order: all of "home", then "local", then "system".
    const auto files = DesktopFileScanner::scan({tree.path("home"), tree.path("local"), tree.path("system")});
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].id, "firefox.desktop");
    EXPECT_EQ(files[1].id, "kde-konsole.desktop");
    EXPECT_EQ(files[2].id, "gedit.desktop");
}

TEST(DesktopFileScanner, SymbolicLinksAreFollowedButLoopsEnd)
{
    TempTree tree;
    tree.writeFile("apps/sub/inner.desktop", "");
    tree.makeSymlink(tree.path("apps"), "apps/loop");          // back to the root
    tree.makeSymlink("..", "apps/sub/up");                       // back to the root, relative
    tree.makeSymlink(tree.path("apps/sub"), "apps/sub/self");    // to itself
    tree.writeFile("elsewhere/outside.desktop", "");
    tree.makeSymlink(tree.path("elsewhere"), "apps/linked");     // a real directory, not a loop
    tree.makeSymlink(tree.path("apps/sub/inner.desktop"), "apps/alias.desktop");
    tree.makeSymlink(tree.path("nowhere"), "apps/dangling");
    tree.makeSymlink("b", "apps/a");                             // a loop of links that never is a directory
    tree.makeSymlink("a", "apps/b");

    EXPECT_EQ(scanned(tree, {"apps"}), (std::map<std::string, std::string>{
                                           {"alias.desktop", "apps/alias.desktop"},
                                           {"linked-outside.desktop", "apps/linked/outside.desktop"},
                                           {"sub-inner.desktop", "apps/sub/inner.desktop"},
                                       }));
}

TEST(DesktopFileScanner, DepthIsLimited)
{
    TempTree tree;
    std::string relative = "apps";
    std::string id;
    std::map<std::string, std::string> expected;
    for (std::size_t level = 0; level <= DesktopFileScanner::maxDepth + 2; ++level) {
        tree.writeFile(relative + "/x.desktop", "");
        if (level <= DesktopFileScanner::maxDepth)
            expected.emplace(id + "x.desktop", relative + "/x.desktop");
        relative += "/d";
        id += "d-";
    }
    EXPECT_EQ(scanned(tree, {"apps"}), expected);
}

TEST(DesktopFileScanner, DirectoriesThatCannotBeListed)
{
    TempTree tree;
    tree.writeFile("notadir", "");
    tree.writeFile("apps/open/visible.desktop", "");
    tree.writeFile("apps/closed/invisible.desktop", "");
    tree.writeFile("closed/invisible.desktop", "");
    ::chmod(tree.path("apps/closed").c_str(), 0);
    ::chmod(tree.path("closed").c_str(), 0);

    EXPECT_TRUE(DesktopFileScanner::scan({tree.path("missing"), tree.path("notadir")}).empty());
    const std::string result = testing::runWithoutRootPrivileges([&] {
        std::string ids;
        for (const DesktopFile& file : DesktopFileScanner::scan({tree.path("closed"), tree.path("apps")}))
            ids += file.id + ";";
        return ids;
    });
    EXPECT_EQ(result, "open-visible.desktop;");
}

} // namespace
} // namespace kestrel
