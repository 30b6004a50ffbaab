#include "app/CatalogRefresher.h"

#include "app/AppLauncher.h"
#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <semaphore>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
namespace fs = std::filesystem;
using test::desktopEntry;
using test::TempTree;

/// A launcher over a fixture tree (bundles under root/, desktop entries in home/ and dirs/), shown with an
/// empty text, and a refresher whose clock the test moves. `beforeWatching` runs between the launcher's scan
/// and the start of the refresher. Real time is spent only waiting for a build the worker runs.
struct LiveCatalog {
    explicit LiveCatalog(const TempTree& tree, const std::function<void()>& beforeWatching = {},
                         CatalogRefreshOptions options = {})
        : launcher(
            CatalogLocations{tree.path("root"), {tree.path("home/applications"), tree.path("dirs/applications")}},
            LauncherServices{})
    {
        launcher.showSearchWindow();
        if (beforeWatching)
            beforeWatching();
        options.now = [this] { return now; };
        refresher = std::make_unique<CatalogRefresher>(launcher, std::move(options));
    }
    bool readable(int timeoutMs = 0) const
    {
        pollfd watched{refresher->fileDescriptor(), POLLIN, 0};
        return ::poll(&watched, 1, timeoutMs) > 0;
    }
    bool building() const { return refresher->buildsStarted() > swaps; }
    /// Handles what is waiting, noting the clock's time (in ms) of each build it starts.
    void handle()
    {
        const std::size_t before = refresher->buildsStarted();
        swaps += refresher->processEvents();
        for (std::size_t i = before; i < refresher->buildsStarted(); ++i)
            starts.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
    }
    /// Waits for the build in flight to be swapped in (the next may start at once); false after 30 s.
    bool awaitSwap()
    {
        const std::size_t target = swaps + 1;
        for (const auto limit = steady_clock::now() + 30s; swaps < target && steady_clock::now() < limit; handle())
            readable(100);
        return swaps >= target;
    }
    /// Handles events, moving the clock on while a timer waits, until nothing is waiting, armed or running.
    void settle()
    {
        for (int turn = 0; turn < 100'000 && !(refresher->isIdle() && !readable()); ++turn) {
            if (building())
                ASSERT_TRUE(awaitSwap()) << "a build never ended";
            else if (!readable())
                now += 10ms;
            handle();
        }
        ASSERT_TRUE(refresher->isIdle()) << "the refresher never came to rest";
    }

    AppLauncher launcher;
    steady_clock::time_point now{};
    std::unique_ptr<CatalogRefresher> refresher;
    std::size_t swaps = 0;
    std::vector<long long> starts;
};

using Action = std::function<void(const TempTree&)>;

// The data home lists Bravo, the data directory Charlie, and Echo comes between the launcher's scan and the
// start of the watching. The directories then change step by step while the launcher runs; after each step
// the list must settle to what a fresh start would list.
TEST(CatalogRefresh, ListFollowsTheDirectoriesThroughAwkwardChanges)
{
    const auto put = [](std::string path, std::string bytes) -> Action {
        return [=](auto& t) { t.write(path, bytes); };
    };
    const auto gone = [](std::string path) -> Action { return [=](auto& t) { fs::remove_all(t.path(path)); }; };
    const auto linked = [](std::string target, std::string link) -> Action {
        return [=](auto& t) { fs::create_directory_symlink(t.path(target), t.path(link)); };
    };
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
    const Action renamed = [=](const TempTree& t) { fs::rename(t.path(alpha + ".dpkg-new"), t.path(alpha)); };
    // clang-format off
    const std::pair<std::vector<Action>, std::string> steps[] = {
        {{}, "Bravo Charlie Echo "},
        {{put(alpha, "")}, "Bravo Charlie Echo "}, // created empty, then filled
        {{put(alpha, desktopEntry("Alpha"))}, "Alpha Bravo Charlie Echo "},
        {{put(alpha + ".dpkg-new", desktopEntry("Zulu")), renamed}, "Bravo Charlie Echo Zulu "}, // written aside
        {{gone(dirs)}, "Bravo Zulu "},
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
    // clang-format on
    TempTree tree;
    tree.write("home/applications/bravo.desktop", desktopEntry("Bravo"));
    tree.write(dirs + "/charlie.desktop", desktopEntry("Charlie"));
    LiveCatalog live(tree, [&] { tree.write(dirs + "/echo.desktop", desktopEntry("Echo")); });
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        for (const Action& action : steps[step].first)
            action(tree);
        live.settle();
        std::string names;
        for (const LauncherApp& app : live.launcher.filteredApps())
            names += app.name() + " ";
        EXPECT_EQ(names, steps[step].second) << "after step " << step;
    }
}

// Changes reported one every `everyMs` for `forMs`, then none, on a clock the test moves one millisecond at a
// time; each build takes `buildMs` on it (a second build started during one shows as an extra start). The
// clock times at which builds start: by default the quiet period is 200 ms, the longest delay 2 s.
TEST(CatalogRefresh, BuildsWaitForAQuietPeriodButNotLongerThanTheLongestDelayAndNeverOverlap)
{
    // clang-format off
    const struct { const char* what; int quietMs, longestMs, everyMs, forMs, buildMs; std::vector<long long> starts; }
    cases[] = {
        {"changes closer than the quiet period are one burst, built once it ends", 0, 0, 10, 600, 0, {790}},
        {"changes further apart than the quiet period are built one by one", 30, 10000, 150, 600, 0,
         {30, 180, 330, 480}},
        {"a burst that never pauses is built after the longest delay", 0, 0, 10, 2600, 0, {2000, 2790}},
        {"changes during a build lead to one more after it", 20, 10000, 50, 300, 400, {20, 420}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Builds end when the test releases them, or after 30 s, so that a refresher that waits for one
        // cannot hang the test.
        std::counting_semaphore<> released(0);
        std::atomic<bool> timedOut = false;
        CatalogRefreshOptions options;
        options.quietPeriod = c.quietMs ? std::chrono::milliseconds(c.quietMs) : options.quietPeriod;
        options.longestDelay = c.longestMs ? std::chrono::milliseconds(c.longestMs) : options.longestDelay;
        options.build = [&](const CatalogLocations& locations) {
            if (!released.try_acquire_for(30s))
                timedOut = true;
            return Catalog::build(locations);
        };
        TempTree tree;
        LiveCatalog live(tree, {}, options);
        for (int t = 0; t <= c.forMs + 3000; ++t) {
            live.now = steady_clock::time_point(std::chrono::milliseconds(t));
            if (t < c.forMs && t % c.everyMs == 0)
                live.refresher->noteChange();
            live.handle();
            if (live.building() && t >= live.starts.back() + c.buildMs) {
                released.release();
                ASSERT_TRUE(live.awaitSwap()) << "a build never ended";
            }
        }
        EXPECT_EQ(live.starts, c.starts);
        EXPECT_FALSE(timedOut) << "the refresher waited for a build it had not let end";
        EXPECT_TRUE(live.refresher->isIdle());
        EXPECT_FALSE(live.readable()) << "readable with nothing to do";
    }
}

// On the system's clock (the program's), the descriptor alone wakes the owner: for the end of the quiet
// period, which never comes early, and for the finished build.
TEST(CatalogRefresh, OnTheSystemClockTheDescriptorWakesTheOwnerNoEarlierThanTheQuietPeriod)
{
    TempTree tree;
    AppLauncher launcher(CatalogLocations{tree.path("root"), {tree.dir("home/applications")}}, LauncherServices{});
    launcher.showSearchWindow();
    CatalogRefresher refresher(launcher);
    const auto changed = steady_clock::now();
    tree.write("home/applications/alpha.desktop", desktopEntry("Alpha"));
    pollfd watched{refresher.fileDescriptor(), POLLIN, 0};
    while (launcher.filteredApps().empty() && steady_clock::now() < changed + 30s) {
        if (::poll(&watched, 1, 1000) > 0) // as the program's event loop: only when the descriptor says so
            refresher.processEvents();
    }
    ASSERT_EQ(launcher.filteredApps().size(), 1u);
    EXPECT_GE(steady_clock::now() - changed, CatalogRefreshOptions{}.quietPeriod);
    EXPECT_TRUE(refresher.isIdle());
}

} // namespace
} // namespace kestrel
