#include "catalog/CatalogWatcher.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace kestrel {
namespace {

/// Polls and processes until nothing arrives for 100 ms; answers whether any call reported a change.
bool drain(CatalogWatcher& watcher)
{
    bool changed = false;
    pollfd watched{watcher.fileDescriptor(), POLLIN, 0};
    while (::poll(&watched, 1, 100) > 0)
        changed = watcher.processEvents() || changed;
    return changed;
}

CatalogLocations fixtureLocations(const test::TempTree& tree)
{
    return CatalogLocations{tree.path("root"), {tree.path("apps")}};
}

// One watch per directory, whatever the number of entries: 5,000 entries in 40 directories take 40 watches,
// plus one on the existing ancestor of the missing bundle directories. Past a limit the watcher keeps the
// watches it has, says so once, still reports changes where it watches, and does not spin: after a change
// has been handled the descriptor is quiet again.
TEST(CatalogWatcher, OneWatchPerDirectoryUpToTheLimit)
{
    test::TempTree tree;
    for (int directory = 0; directory < 40; ++directory) {
        const std::string prefix = directory == 0 ? "apps/" : "apps/vendor-" + std::to_string(directory) + "/";
        for (int file = 0; file < 125; ++file)
            tree.write(prefix + "entry-" + std::to_string(file) + ".desktop", "");
    }
    EXPECT_EQ(CatalogWatcher(fixtureLocations(tree)).watchCount(), 40u + 1);
    EXPECT_FALSE(CatalogWatcher(fixtureLocations(tree)).limitReached());

    ::testing::internal::CaptureStderr();
    CatalogWatcher watcher(fixtureLocations(tree), 2);
    EXPECT_EQ(watcher.watchCount(), 2u);
    EXPECT_TRUE(watcher.limitReached());
    tree.write("apps/new.desktop", "");
    EXPECT_TRUE(drain(watcher)) << "a change in the applications directory itself is still seen";
    tree.dir("apps/e");
    tree.dir("apps/f");
    drain(watcher);
    EXPECT_EQ(watcher.watchCount(), 2u);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("no more directory watches"), std::string::npos) << err;

    pollfd watched{watcher.fileDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 300), 0) << "nothing left to handle, nothing to wake up for";
}

// Only what the catalogue is made of counts: entries, bundles and directories, not other files beside them.
TEST(CatalogWatcher, ReportsOnlyChangesThatCanAlterTheCatalogue)
{
    test::TempTree tree;
    tree.dir("apps");
    tree.dir("root/Applications");
    CatalogWatcher watcher(fixtureLocations(tree));
    const struct { const char* path; bool directory; bool changes; } cases[] = {
        {"apps/notes.txt", false, false}, {"apps/org.example.App.desktop.dpkg-tmp", false, false},
        {"apps/org.example.App.desktop", false, true}, {"apps/vendor", true, true},
        {"apps/vendor/tool.desktop", false, true}, {"root/Applications/.DS_Store", false, false},
        {"root/Applications/Tool.app", true, true}, {"root/elsewhere.txt", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        c.directory ? (void)tree.dir(c.path) : (void)tree.write(c.path, "x");
        EXPECT_EQ(drain(watcher), c.changes);
    }
}

} // namespace
} // namespace kestrel
