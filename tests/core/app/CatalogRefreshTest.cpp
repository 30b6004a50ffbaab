#include "app/CatalogRefresher.h"

#include "app/AppLauncher.h"
#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
namespace fs = std::filesystem;
using test::desktopEntry;
using test::TempTree;

/// The options with the quiet period and the longest delay given (0: the default).
CatalogRefreshOptions pacing(int quietMs, int longestMs)
{
    CatalogRefreshOptions options;
    options.quietPeriod = quietMs ? milliseconds(quietMs) : options.quietPeriod;
    options.longestDelay = longestMs ? milliseconds(longestMs) : options.longestDelay;
    return options;
}

/// A launcher over a fixture tree (bundles under root/, desktop entries in home/ and dirs/), shown with an
/// empty text, and a refresher driven by a poll loop on this thread. `beforeWatching` runs between the
/// launcher's scan and the start of the refresher.
struct LiveCatalog {
    explicit LiveCatalog(const TempTree& tree, const std::function<void()>& beforeWatching = {},
                         CatalogRefreshOptions options = pacing(20, 300))
        : launcher(
            CatalogLocations{tree.path("root"), {tree.path("home/applications"), tree.path("dirs/applications")}},
            LauncherServices{})
    {
        launcher.showSearchWindow();
        if (beforeWatching)
            beforeWatching();
        refresher = std::make_unique<CatalogRefresher>(launcher, std::move(options));
    }

    /// Handles events for `ms` milliseconds; true when any came.
    bool runFor(int ms)
    {
        bool any = false;
        for (const auto end = Clock::now() + milliseconds(ms); Clock::now() < end;) {
            pollfd watched{refresher->fileDescriptor(), POLLIN, 0};
            if (::poll(&watched, 1, 5) > 0) {
                refresher->processEvents();
                any = true;
            }
        }
        return any;
    }

    /// Handles events until the refresher has been idle, without any event, for 200 ms (at most 30 s).
    void settle()
    {
        for (const auto limit = Clock::now() + std::chrono::seconds(30); Clock::now() < limit;) {
            if (!runFor(200) && refresher->isIdle())
                return;
        }
    }

    /// The names listed, each followed by a space.
    std::string names() const
    {
        std::string out;
        for (const LauncherApp& app : launcher.filteredApps())
            out += app.name() + " ";
        return out;
    }

    AppLauncher launcher;
    std::unique_ptr<CatalogRefresher> refresher;
};

using Action = std::function<void(const TempTree&)>;
Action put(const std::string& path, const std::string& bytes)
{
    return [=](const TempTree& t) { t.write(path, bytes); };
}
Action gone(const std::string& path)
{
    return [=](const TempTree& t) { fs::remove_all(t.path(path)); };
}
Action linked(const std::string& target, const std::string& link)
{
    return [=](const TempTree& t) { fs::create_directory_symlink(t.path(target), t.path(link)); };
}

// The data home lists Bravo, the data directory Charlie, and Echo comes between the launcher's scan and the
// start of the watching. The directories then change step by step while the launcher runs; after each step
// the list must settle to what a fresh start would list.
TEST(CatalogRefresh, ListFollowsTheDirectoriesThroughAwkwardChanges)
{
    const std::string alpha = "home/applications/alpha.desktop", dirs = "dirs/applications";
    const std::vector<Action> restore = {gone(dirs), gone("dirs/other"),
                                         put(dirs + "/charlie.desktop", desktopEntry("Charlie"))};
    // More events than the kernel queues while nobody reads, about a file that is no entry; the entry's own
    // events are then lost: only the queue's overflow tells of it.
    const Action flood = [](const TempTree& t) {
        for (int i = 0; i < 8000; ++i)
            fs::remove(t.write("dirs/applications/noise.txt"));
        t.write("dirs/applications/flood.desktop", desktopEntry("Flood"));
    };
    const std::pair<std::vector<Action>, std::string> steps[] = {
        {{}, "Bravo Charlie Echo "},
        {{put(alpha, "")}, "Bravo Charlie Echo "}, // created empty, then filled
        {{put(alpha, desktopEntry("Alpha"))}, "Alpha Bravo Charlie Echo "},
        {{put(alpha + ".dpkg-new", desktopEntry("Zulu"))}, "Alpha Bravo Charlie Echo "}, // written aside, then renamed
        {{[=](const TempTree& t) { fs::rename(t.path(alpha + ".dpkg-new"), t.path(alpha)); }},
         "Bravo Charlie Echo Zulu "},
        {{gone(dirs)}, "Bravo Zulu "},
        {restore, "Bravo Charlie Zulu "},
        {{gone(dirs), put(dirs, "not a directory")}, "Bravo Zulu "},
        {restore, "Bravo Charlie Zulu "},
        {{gone(dirs), linked("dirs/other", dirs), linked(dirs, "dirs/other")}, "Bravo Zulu "}, // a loop
        {restore, "Bravo Charlie Zulu "},
        {{gone("home")}, "Charlie "},
        {{put("home/applications/vendor/deeper/delta.desktop", desktopEntry("Delta"))}, "Charlie Delta "},
        {{gone("home/applications/vendor")}, "Charlie "},
        {{put("outside/readme", ""), linked("outside", dirs + "/linked")}, "Charlie "},
        {{put("outside/foxtrot.desktop", desktopEntry("Foxtrot"))}, "Charlie Foxtrot "},
        {{put("root/Applications/Golf.app/x", ""), put("root/System/Applications/Utilities/Hotel.app/x", "")},
         "Charlie Foxtrot Golf Hotel "}, // bundle directories created after start
        {{flood}, "Charlie Flood Foxtrot Golf Hotel "},
    };
    TempTree tree;
    tree.write("home/applications/bravo.desktop", desktopEntry("Bravo"));
    tree.write(dirs + "/charlie.desktop", desktopEntry("Charlie"));
    LiveCatalog live(tree, [&] { tree.write(dirs + "/echo.desktop", desktopEntry("Echo")); });
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        for (const Action& action : steps[step].first)
            action(tree);
        live.settle();
        EXPECT_EQ(live.names(), steps[step].second) << "after step " << step;
    }
}

// Changes reported for a while, one every `everyMs`, then none: how many builds (each taking `buildMs`)
// start while they come, and how many more after them. By default the quiet period is 200 ms, the longest
// delay 2 s.
TEST(CatalogRefresh, BuildsWaitForAQuietPeriodButNotLongerThanTheLongestDelayAndNeverOverlap)
{
    struct Case {
        const char* what;
        int quietMs, longestMs, everyMs, forMs, buildMs;
        std::size_t minDuring, maxDuring, after;
    } const cases[] = {
        {"changes closer than the quiet period are one burst, built once it ends", 0, 0, 10, 600, 0, 0, 0, 1},
        {"changes further apart than the quiet period are built one by one", 30, 10000, 150, 600, 0, 3, 4, 0},
        {"a burst that never pauses is built after the longest delay", 0, 0, 10, 2600, 0, 1, 1, 1},
        {"changes during a build lead to one more after it, never a second at once", 20, 10000, 50, 300, 400, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CatalogRefreshOptions options = pacing(c.quietMs, c.longestMs);
        options.build = [ms = c.buildMs](const CatalogLocations& locations) {
            std::this_thread::sleep_for(milliseconds(ms));
            return Catalog::build(locations);
        };
        TempTree tree;
        LiveCatalog live(tree, {}, options);
        for (const auto end = Clock::now() + milliseconds(c.forMs); Clock::now() < end;) {
            live.refresher->noteChange();
            live.runFor(c.everyMs);
        }
        const std::size_t during = live.refresher->buildsStarted();
        EXPECT_GE(during, c.minDuring);
        EXPECT_LE(during, c.maxDuring);
        live.settle();
        EXPECT_EQ(live.refresher->buildsStarted() - during, c.after);
        EXPECT_FALSE(live.runFor(300)) << "readable with nothing to do: a timer was left armed";
    }
}

} // namespace
} // namespace kestrel
