#include "catalog/CatalogWatcher.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {
namespace {

/// Processes until nothing is waiting (inotify queues an event within the call that causes it); answers
/// whether any call reported a change.
bool drain(CatalogWatcher& watcher)
{
    bool changed = false;
    pollfd watched{watcher.fileDescriptor(), POLLIN, 0};
    while (::poll(&watched, 1, 0) > 0)
        changed = watcher.processEvents() || changed;
    return changed;
}

// One watch per directory, whatever the number of entries: 10 directories take 10 watches, plus one on
// the existing ancestor of the missing bundle directories. Past a limit the watcher keeps the watches it
// has, says so once, still reports changes where it watches, and does not spin.
TEST(CatalogWatcher, OneWatchPerDirectoryUpToTheLimit)
{
    const test::TempTree tree;
    const CatalogLocations locations{tree.path("root"), {tree.path("apps")}};
    for (int file = 0; file < 200; ++file)
        tree.write("apps/" + (file % 10 ? "vendor-" + std::to_string(file % 10) + "/" : "") + std::to_string(file)
                   + ".desktop");
    EXPECT_EQ(CatalogWatcher(locations).watchCount(), 10u + 1);

    std::vector<std::string> reported;
    CatalogWatcher watcher(locations, 2, [&](std::string_view, std::string_view line) { reported.emplace_back(line); });
    tree.write("apps/new.desktop");
    EXPECT_TRUE(drain(watcher)) << "a change in the applications directory itself is still seen";
    tree.dir("apps/e/f");
    drain(watcher);
    EXPECT_EQ(watcher.watchCount(), 2u);
    EXPECT_EQ(reported.size(), 1u) << "said once";
    pollfd watched{watcher.fileDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 0), 0) << "nothing left to handle, nothing to wake up for";
}

// Only what the catalogue is made of counts: entries and bundles, not other files beside them. (New
// directories, watched at once, are the catalogue refresh test's.)
TEST(CatalogWatcher, ReportsOnlyChangesThatCanAlterTheCatalogue)
{
    const test::TempTree tree;
    tree.dir("apps");
    tree.dir("root/Applications");
    CatalogWatcher watcher(CatalogLocations{tree.path("root"), {tree.path("apps")}});
    // clang-format off
    const struct { const char* path; bool directory; bool changes; } cases[] = {
        {"apps/notes.txt", false, false}, {"apps/org.example.App.desktop.dpkg-tmp", false, false},
        {"apps/org.example.App.desktop", false, true}, {"root/Applications/.DS_Store", false, false},
        {"root/Applications/Tool.app", true, true}, {"root/elsewhere.txt", false, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        c.directory ? (void)tree.dir(c.path) : (void)tree.write(c.path, "x");
        EXPECT_EQ(drain(watcher), c.changes) << c.path;
    }
}

} // namespace
} // namespace kestrel
