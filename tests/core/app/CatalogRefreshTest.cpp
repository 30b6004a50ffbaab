#include "app/CatalogRefresher.h"

#include "app/AppLauncher.h"
#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

using test::desktopEntry;

/// A launcher over a fixture tree (bundles under root/, desktop entries in home/ and dirs/), shown with an
/// empty text, and a refresher driven by a poll loop on this thread.
class LiveCatalog {
public:
    explicit LiveCatalog(const test::TempTree& tree, CatalogRefreshOptions options = fastOptions())
        : m_launcher(CatalogLocations{tree.path("root"), {tree.path("home/applications"), tree.path("dirs/applications")}},
                     LauncherServices{})
        , m_refresher(m_launcher, std::move(options))
    {
        m_launcher.showSearchWindow();
    }

    static CatalogRefreshOptions fastOptions()
    {
        CatalogRefreshOptions options;
        options.quietPeriod = std::chrono::milliseconds(20);
        options.longestDelay = std::chrono::milliseconds(300);
        return options;
    }

    /// Handles events until `done` answers true or 30 s have passed.
    void runUntil(const std::function<bool()>& done) { pumpUntil(m_refresher, done); }

    /// Handles events until the refresher has been idle, without any event, for 250 ms (at most 30 s).
    void settle()
    {
        const auto limit = Clock::now() + std::chrono::seconds(30);
        for (auto quiet = Clock::now(); Clock::now() < limit && Clock::now() - quiet < std::chrono::milliseconds(250);) {
            if (step(m_refresher, 10) || !m_refresher.isIdle())
                quiet = Clock::now();
        }
    }

    /// Polls the refresher once for up to `timeoutMs` and handles what came; true when something did.
    static bool step(CatalogRefresher& refresher, int timeoutMs)
    {
        pollfd watched{refresher.fileDescriptor(), POLLIN, 0};
        const bool readable = ::poll(&watched, 1, timeoutMs) > 0;
        if (readable)
            refresher.processEvents();
        return readable;
    }
    static void pumpUntil(CatalogRefresher& refresher, const std::function<bool()>& done)
    {
        for (const auto limit = Clock::now() + std::chrono::seconds(30); !done() && Clock::now() < limit;)
            step(refresher, 10);
    }

    Strings names() const
    {
        Strings out;
        for (const LauncherApp& app : m_launcher.filteredApps())
            out.push_back(app.name());
        return out;
    }

    CatalogRefresher& refresher() { return m_refresher; }

private:
    AppLauncher m_launcher;
    CatalogRefresher m_refresher;
};

class CatalogRefreshTest : public ::testing::Test {
protected:
    CatalogRefreshTest() { m_environment.set("LC_ALL", "en_US.UTF-8"); }
    test::EnvironmentGuard m_environment;
};

using Action = std::function<void(const test::TempTree&)>;
struct Step { Action action; Strings names; };
struct Scenario { std::string what; bool needsUnprivileged; std::vector<Step> steps; };

/// Changes to a fixture whose data home lists Bravo and whose data directory lists Charlie, step by step,
/// each with the names a fresh start would list after it.
std::vector<Scenario> awkwardChanges()
{
    const Strings base = {"Bravo", "Charlie"};
    const auto write = [](std::string path, std::string bytes) { return [=](const test::TempTree& t) { t.write(path, bytes); }; };
    const auto removeAll = [](std::string path) { return [=](const test::TempTree& t) { fs::remove_all(t.path(path)); }; };
    const auto rename = [](std::string from, std::string to) {
        return [=](const test::TempTree& t) { fs::rename(t.path(from), t.path(to)); };
    };
    const Action restore = [](const test::TempTree& t) {
        fs::remove(t.path("dirs/applications")); // the file or link in its place, if any
        fs::remove(t.path("dirs/other"));
        t.write("dirs/applications/charlie.desktop", desktopEntry("Charlie"));
    };
    const auto chmodDirs = [](mode_t mode) { return [=](const test::TempTree& t) { ::chmod(t.path("dirs/applications").c_str(), mode); }; };
    return {
        {"created empty, then filled", false,
         {{write("home/applications/alpha.desktop", ""), base},
          {write("home/applications/alpha.desktop", desktopEntry("Alpha")), {"Alpha", "Bravo", "Charlie"}}}},
        {"written to a temporary name and renamed, then replaced the same way", false,
         {{write("home/applications/alpha.desktop.dpkg-new", desktopEntry("Alpha")), base},
          {rename("home/applications/alpha.desktop.dpkg-new", "home/applications/alpha.desktop"), {"Alpha", "Bravo", "Charlie"}},
          {[](const test::TempTree& t) {
               t.write("home/applications/.alpha.tmp", desktopEntry("Alpha Two"));
               fs::rename(t.path("home/applications/.alpha.tmp"), t.path("home/applications/alpha.desktop"));
           }, {"Alpha Two", "Bravo", "Charlie"}}}},
        {"masked by Hidden=true in the data home, and back when that goes", false,
         {{write("home/applications/charlie.desktop", desktopEntry("Charlie", "Hidden=true\n")), {"Bravo"}},
          {removeAll("home/applications/charlie.desktop"), base}}},
        {"directory deleted, then restored", false, {{removeAll("dirs/applications"), {"Bravo"}}, {restore, base}}},
        {"directory replaced by a file, then restored", false,
         {{[](const test::TempTree& t) {
               fs::remove_all(t.path("dirs/applications"));
               t.write("dirs/applications", "not a directory");
           }, {"Bravo"}},
          {restore, base}}},
        {"directory turned into a symbolic link loop, then restored", false,
         {{[](const test::TempTree& t) {
               fs::remove_all(t.path("dirs/applications"));
               fs::create_directory_symlink(t.path("dirs/other"), t.path("dirs/applications"));
               fs::create_directory_symlink(t.path("dirs/applications"), t.path("dirs/other"));
           }, {"Bravo"}},
          {restore, base}}},
        {"directory made unreadable, then readable again", true, {{chmodDirs(0), {"Bravo"}}, {chmodDirs(0755), base}}},
        {"data home and its applications directory created after start, with a vendor subdirectory", false,
         {{removeAll("home"), {"Charlie"}},
          {write("home/applications/vendor/delta.desktop", desktopEntry("Delta")), {"Charlie", "Delta"}},
          {write("home/applications/vendor/deeper/echo.desktop", desktopEntry("Echo")), {"Charlie", "Delta", "Echo"}},
          {removeAll("home/applications/vendor"), {"Charlie"}}}},
        {"a subdirectory reached through a symbolic link, its target filled later", false,
         {{[](const test::TempTree& t) { fs::create_directory_symlink(t.dir("outside"), t.path("dirs/applications/linked")); },
           base},
          {write("outside/foxtrot.desktop", desktopEntry("Foxtrot")), {"Bravo", "Charlie", "Foxtrot"}}}},
        {"bundle directories created after start", false,
         {{[](const test::TempTree& t) { t.dir("root/Applications/Golf.app"); }, {"Bravo", "Charlie", "Golf"}},
          {[](const test::TempTree& t) { t.dir("root/System/Applications/Utilities/Hotel.app"); },
           {"Bravo", "Charlie", "Golf", "Hotel"}},
          {removeAll("root/Applications/Golf.app"), {"Bravo", "Charlie", "Hotel"}}}},
    };
}

// Each scenario changes the fixture step by step while the launcher runs; after each step the list must
// settle to what a fresh start would list.
TEST_F(CatalogRefreshTest, ListFollowsTheDirectoriesThroughAwkwardChanges)
{
    for (const Scenario& scenario : awkwardChanges()) {
        SCOPED_TRACE(scenario.what);
        if (scenario.needsUnprivileged && ::geteuid() == 0) {
            std::printf("note: not checked as root (permissions do not apply): %s\n", scenario.what.c_str());
            continue;
        }
        test::TempTree tree;
        tree.write("home/applications/bravo.desktop", desktopEntry("Bravo"));
        tree.write("dirs/applications/charlie.desktop", desktopEntry("Charlie"));
        LiveCatalog live(tree);
        ASSERT_EQ(live.names(), (Strings{"Bravo", "Charlie"}));
        int number = 0;
        for (const Step& step : scenario.steps) {
            step.action(tree);
            live.settle();
            EXPECT_EQ(live.names(), step.names) << "after step " << ++number;
        }
        ::chmod(tree.path("dirs/applications").c_str(), 0755);
    }
}

// Thirty entries written at once are one burst: one build. Changes during a build lead to exactly one more.
TEST_F(CatalogRefreshTest, BurstsCoalesceAndABuildInFlightIsFollowedByOneMore)
{
    test::TempTree tree;
    tree.write("home/applications/bravo.desktop", desktopEntry("Bravo"));
    {
        CatalogRefreshOptions options;
        options.quietPeriod = std::chrono::milliseconds(500); // far longer than writing thirty small files
        LiveCatalog live(tree, options);
        for (int i = 0; i < 30; ++i)
            tree.write("home/applications/burst-" + std::to_string(i) + ".desktop", desktopEntry("Burst " + std::to_string(i)));
        live.settle();
        EXPECT_EQ(live.refresher().buildsStarted(), 1u);
        EXPECT_EQ(live.names().size(), 31u);
    }

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> builds{0};
    CatalogRefreshOptions options = LiveCatalog::fastOptions();
    options.build = [&](const CatalogLocations& locations) {
        if (builds++ == 0)
            released.wait();
        return Catalog::build(locations);
    };
    LiveCatalog live(tree, options);
    tree.write("home/applications/charlie.desktop", desktopEntry("Charlie"));
    live.runUntil([&] { return builds.load() > 0; });
    ASSERT_EQ(builds.load(), 1);
    for (int i = 0; i < 5; ++i) {
        tree.write("home/applications/delta-" + std::to_string(i) + ".desktop", desktopEntry("Delta " + std::to_string(i)));
        const auto end = Clock::now() + std::chrono::milliseconds(30); // past the quiet period: still no second build
        live.runUntil([&] { return Clock::now() >= end; });
    }
    EXPECT_EQ(builds.load(), 1) << "never two builds at once";
    release.set_value();
    live.settle();
    EXPECT_EQ(builds.load(), 2);
    EXPECT_EQ(live.names().size(), 31u + 1 + 5);
}

// An entry written after the launcher scanned but before the refresher watched is not lost.
TEST_F(CatalogRefreshTest, ChangesBetweenTheScanAndTheWatchingAreCaughtUp)
{
    test::TempTree tree;
    tree.write("home/applications/bravo.desktop", desktopEntry("Bravo"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the fixture's own writes are well before the scan
    AppLauncher launcher(CatalogLocations{tree.path("root"), {tree.path("home/applications")}}, LauncherServices{});
    tree.write("home/applications/charlie.desktop", desktopEntry("Charlie"));
    CatalogRefresher refresher(launcher, LiveCatalog::fastOptions());
    LiveCatalog::pumpUntil(refresher, [&] { return launcher.applicationIndex().apps().size() >= 2; });
    EXPECT_EQ(launcher.applicationIndex().apps().size(), 2u);
    EXPECT_EQ(refresher.buildsStarted(), 1u);
}

// 20,000 file events (10,000 files created, most removed again) while the launcher runs: a bounded number of
// builds, the list ends as the directory ends, and then the descriptor stays silent (no timer left armed).
TEST_F(CatalogRefreshTest, FloodOfEventsEndsInTheFinalStateWithFewBuilds)
{
    test::TempTree tree;
    tree.write("home/applications/bravo.desktop", desktopEntry("Bravo"));
    LiveCatalog live(tree);
    const auto start = Clock::now();
    std::thread writer([&tree] {
        for (int i = 0; i < 10000; ++i) {
            const std::string path = "dirs/applications/flood-" + std::to_string(i) + ".desktop";
            tree.write(path, desktopEntry("Flood " + std::to_string(i)));
            if (i % 100 != 0)
                fs::remove(tree.path(path));
        }
    });
    live.runUntil([&] { return Clock::now() - start > std::chrono::seconds(1); });
    writer.join(); // the events pile up meanwhile
    live.settle();
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(live.names().size(), 1u + 100);
    // At most one build per longest delay of a continuous burst, plus the one after the end.
    EXPECT_LE(live.refresher().buildsStarted(), static_cast<std::size_t>(elapsedMs / 300 + 2));
    EXPECT_GE(live.refresher().buildsStarted(), 1u);
    EXPECT_TRUE(live.refresher().isIdle());
    pollfd watched{live.refresher().fileDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 1000), 0);
}

} // namespace
} // namespace kestrel
