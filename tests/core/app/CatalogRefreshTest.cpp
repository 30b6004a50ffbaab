#include "app/CatalogRefresher.h"

#include "app/AppLauncher.h"
#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using std::chrono::milliseconds;
namespace fs = std::filesystem;
using test::desktopEntry;
using test::TempTree;

/// A launcher over a fixture tree (bundles under root/, desktop entries in home/ and dirs/), shown with an
/// empty text, and a refresher whose clock the test moves, driven by a poll loop on this thread.
/// `beforeWatching` runs between the launcher's scan and the start of the refresher. Real time is spent
/// only waiting for a build the worker runs, at most 30 s each.
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

    /// Milliseconds on the refresher's clock.
    long long clockMs() const { return std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count(); }
    bool readable(int timeoutMs = 0) const
    {
        pollfd watched{refresher->fileDescriptor(), POLLIN, 0};
        return ::poll(&watched, 1, timeoutMs) > 0;
    }
    bool building() const { return refresher->buildsStarted() > finished; }

    /// Handles what is waiting, noting the clock's time of each build it starts.
    void handle()
    {
        const std::size_t before = refresher->buildsStarted();
        if (refresher->processEvents())
            ++finished;
        for (std::size_t i = before; i < refresher->buildsStarted(); ++i)
            buildStarts.push_back(clockMs());
    }

    /// Waits for the build in flight to be swapped in (the next may start at once); false after 30 s.
    bool awaitSwap()
    {
        const std::size_t target = finished + 1;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (finished < target && std::chrono::steady_clock::now() < limit) {
            readable(100);
            handle();
        }
        return finished >= target;
    }

    /// Handles events, moving the clock on while a timer waits, until nothing is waiting, armed or running.
    void settle()
    {
        for (int turn = 0; turn < 100'000; ++turn) {
            handle();
            if (building())
                ASSERT_TRUE(awaitSwap()) << "a build never ended";
            else if (!readable() && refresher->isIdle())
                return;
            else if (!readable())
                now += milliseconds(10);
        }
        FAIL() << "the refresher never came to rest";
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
    std::chrono::steady_clock::time_point now{};
    std::unique_ptr<CatalogRefresher> refresher;
    std::size_t finished = 0;
    std::vector<long long> buildStarts;
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

/// Builds that end only when the test lets them (or, so that a refresher that waits for one cannot hang
/// the test, after 30 s), counting how many ran at once.
class HeldBuilds {
public:
    Catalog build(const CatalogLocations& locations)
    {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const int ticket = m_entered++;
            m_mostAtOnce = std::max(m_mostAtOnce, ++m_running);
            if (!m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_released > ticket; }))
                m_timedOut = true;
            --m_running;
        }
        return Catalog::build(locations);
    }
    void releaseOne()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_released;
        m_changed.notify_all();
    }
    int mostAtOnce()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_mostAtOnce;
    }
    bool timedOut()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_timedOut;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_entered = 0, m_released = 0, m_running = 0, m_mostAtOnce = 0;
    bool m_timedOut = false;
};

// Changes reported one every `everyMs` for `forMs`, then none, on a clock the test moves one millisecond at a
// time; each build takes `buildMs` on it. The clock times at which builds start: by default the quiet period
// is 200 ms, the longest delay 2 s.
TEST(CatalogRefresh, BuildsWaitForAQuietPeriodButNotLongerThanTheLongestDelayAndNeverOverlap)
{
    struct Case {
        const char* what;
        int quietMs, longestMs, everyMs, forMs, buildMs;
        std::vector<long long> starts;
    } const cases[] = {
        {"changes closer than the quiet period are one burst, built once it ends", 0, 0, 10, 600, 0, {790}},
        {"changes further apart than the quiet period are built one by one",
         30,
         10000,
         150,
         600,
         0,
         {30, 180, 330, 480}},
        {"a burst that never pauses is built after the longest delay", 0, 0, 10, 2600, 0, {2000, 2790}},
        {"changes during a build lead to one more after it, never a second at once",
         20,
         10000,
         50,
         300,
         400,
         {20, 420}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeldBuilds held;
        CatalogRefreshOptions options;
        options.quietPeriod = c.quietMs ? milliseconds(c.quietMs) : options.quietPeriod;
        options.longestDelay = c.longestMs ? milliseconds(c.longestMs) : options.longestDelay;
        options.build = [&held](const CatalogLocations& locations) { return held.build(locations); };
        TempTree tree;
        LiveCatalog live(tree, {}, options);
        for (int t = 0; t <= c.forMs + 3000; ++t) {
            live.now = std::chrono::steady_clock::time_point(milliseconds(t));
            if (t < c.forMs && t % c.everyMs == 0)
                live.refresher->noteChange();
            live.handle();
            if (live.building() && t >= live.buildStarts.back() + c.buildMs) {
                held.releaseOne();
                ASSERT_TRUE(live.awaitSwap()) << "a build never ended";
            }
        }
        EXPECT_EQ(live.buildStarts, c.starts);
        EXPECT_EQ(held.mostAtOnce(), 1);
        EXPECT_FALSE(held.timedOut()) << "the refresher waited for a build it had not let end";
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
    const auto changed = std::chrono::steady_clock::now();
    tree.write("home/applications/alpha.desktop", desktopEntry("Alpha"));
    const auto limit = changed + std::chrono::seconds(30);
    while (launcher.filteredApps().empty() && std::chrono::steady_clock::now() < limit) {
        pollfd watched{refresher.fileDescriptor(), POLLIN, 0};
        if (::poll(&watched, 1, 1000) > 0) // as the program's event loop: only when the descriptor says so
            refresher.processEvents();
    }
    ASSERT_EQ(launcher.filteredApps().size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - changed, CatalogRefreshOptions{}.quietPeriod);
    EXPECT_TRUE(refresher.isIdle());
}

} // namespace
} // namespace kestrel
