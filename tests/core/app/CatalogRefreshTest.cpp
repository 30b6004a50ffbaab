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

std::string entry(const std::string& name, const std::string& extra = "")
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true\n" + extra;
}

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

    /// Handles events for `duration`.
    void run(std::chrono::milliseconds duration)
    {
        const auto end = Clock::now() + duration;
        while (Clock::now() < end)
            step(10);
    }

    /// Handles events until the refresher has been idle, without any event, for 250 ms (at most 30 s).
    void settle()
    {
        const auto limit = Clock::now() + std::chrono::seconds(30);
        auto quietSince = Clock::now();
        while (Clock::now() < limit && Clock::now() - quietSince < std::chrono::milliseconds(250)) {
            if (step(10) || !m_refresher.isIdle())
                quietSince = Clock::now();
        }
    }

    /// Polls once for up to `timeoutMs`; true when the descriptor was readable.
    bool step(int timeoutMs)
    {
        pollfd watched{m_refresher.fileDescriptor(), POLLIN, 0};
        const bool readable = ::poll(&watched, 1, timeoutMs) > 0;
        if (readable)
            m_refresher.processEvents();
        return readable;
    }

    Strings names() const
    {
        Strings out;
        for (const LauncherApp& app : m_launcher.filteredApps())
            out.push_back(app.name());
        return out;
    }

    AppLauncher& launcher() { return m_launcher; }
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
struct Step {
    Action action;
    Strings names;
};
struct Scenario {
    std::string what;
    bool needsUnprivileged;
    std::vector<Step> steps;
};

/// Changes to a fixture whose data home lists Bravo and whose data directory lists Charlie, step by step,
/// each with the names a fresh start would list after it.
std::vector<Scenario> awkwardChanges()
{
    const Strings base = {"Bravo", "Charlie"};
    const auto write = [](std::string path, std::string bytes) {
        return [path, bytes](const test::TempTree& t) { t.write(path, bytes); };
    };
    const auto removeAll = [](std::string path) { return [path](const test::TempTree& t) { fs::remove_all(t.path(path)); }; };
    const auto restoreDirs = [](const test::TempTree& t) { t.write("dirs/applications/charlie.desktop", entry("Charlie")); };
    return {
        {"created empty, then filled", false,
         {{write("home/applications/alpha.desktop", ""), base},
          {write("home/applications/alpha.desktop", entry("Alpha")), {"Alpha", "Bravo", "Charlie"}}}},
        {"written to a temporary name and renamed, then replaced the same way", false,
         {{write("home/applications/alpha.desktop.dpkg-new", entry("Alpha")), base},
          {[](const test::TempTree& t) {
               fs::rename(t.path("home/applications/alpha.desktop.dpkg-new"), t.path("home/applications/alpha.desktop"));
           }, {"Alpha", "Bravo", "Charlie"}},
          {[](const test::TempTree& t) {
               t.write("home/applications/.alpha.tmp", entry("Alpha Two"));
               fs::rename(t.path("home/applications/.alpha.tmp"), t.path("home/applications/alpha.desktop"));
           }, {"Alpha Two", "Bravo", "Charlie"}}}},
        {"masked by Hidden=true in the data home, and back when that goes", false,
         {{write("home/applications/charlie.desktop", entry("Charlie", "Hidden=true\n")), {"Bravo"}},
          {removeAll("home/applications/charlie.desktop"), base}}},
        {"directory deleted, then restored", false,
         {{removeAll("dirs/applications"), {"Bravo"}}, {restoreDirs, base}}},
        {"directory replaced by a file, then restored", false,
         {{[](const test::TempTree& t) {
               fs::remove_all(t.path("dirs/applications"));
               t.write("dirs/applications", "not a directory");
           }, {"Bravo"}},
          {[](const test::TempTree& t) {
               fs::remove(t.path("dirs/applications"));
               t.write("dirs/applications/charlie.desktop", entry("Charlie"));
           }, base}}},
        {"directory turned into a symbolic link loop, then restored", false,
         {{[](const test::TempTree& t) {
               fs::remove_all(t.path("dirs/applications"));
               fs::create_directory_symlink(t.path("dirs/other"), t.path("dirs/applications"));
               fs::create_directory_symlink(t.path("dirs/applications"), t.path("dirs/other"));
           }, {"Bravo"}},
          {[](const test::TempTree& t) {
               fs::remove(t.path("dirs/applications"));
               fs::remove(t.path("dirs/other"));
               t.write("dirs/applications/charlie.desktop", entry("Charlie"));
           }, base}}},
        {"directory made unreadable, then readable again", true,
         {{[](const test::TempTree& t) { ::chmod(t.path("dirs/applications").c_str(), 0); }, {"Bravo"}},
          {[](const test::TempTree& t) { ::chmod(t.path("dirs/applications").c_str(), 0755); }, base}}},
        {"data home and its applications directory created after start, with a vendor subdirectory", false,
         {{removeAll("home"), {"Charlie"}},
          {write("home/applications/vendor/delta.desktop", entry("Delta")), {"Charlie", "Delta"}},
          {write("home/applications/vendor/deeper/echo.desktop", entry("Echo")), {"Charlie", "Delta", "Echo"}},
          {removeAll("home/applications/vendor"), {"Charlie"}}}},
        {"a subdirectory reached through a symbolic link, its target filled later", false,
         {{[](const test::TempTree& t) {
               fs::create_directory_symlink(t.dir("outside"), t.path("dirs/applications/linked"));
           }, base},
          {write("outside/foxtrot.desktop", entry("Foxtrot")), {"Bravo", "Charlie", "Foxtrot"}}}},
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
    const Strings base = {"Bravo", "Charlie"};
    for (const Scenario& scenario : awkwardChanges()) {
        SCOPED_TRACE(scenario.what);
        if (scenario.needsUnprivileged && ::geteuid() == 0) {
            std::printf("note: not checked as root (permissions do not apply): %s\n", scenario.what.c_str());
            continue;
        }
        test::TempTree tree;
        tree.write("home/applications/bravo.desktop", entry("Bravo"));
        tree.write("dirs/applications/charlie.desktop", entry("Charlie"));
        LiveCatalog live(tree);
        ASSERT_EQ(live.names(), base);
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
    tree.write("home/applications/bravo.desktop", entry("Bravo"));
    {
        CatalogRefreshOptions options;
        options.quietPeriod = std::chrono::milliseconds(500); // far longer than writing thirty small files
        LiveCatalog live(tree, options);
        for (int i = 0; i < 30; ++i)
            tree.write("home/applications/burst-" + std::to_string(i) + ".desktop", entry("Burst " + std::to_string(i)));
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
    tree.write("home/applications/charlie.desktop", entry("Charlie"));
    const auto limit = Clock::now() + std::chrono::seconds(30);
    while (builds.load() == 0 && Clock::now() < limit)
        live.step(10);
    ASSERT_EQ(builds.load(), 1);
    for (int i = 0; i < 5; ++i) {
        tree.write("home/applications/delta-" + std::to_string(i) + ".desktop", entry("Delta " + std::to_string(i)));
        live.run(std::chrono::milliseconds(30)); // past the quiet period each time: still no second build
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
    tree.write("home/applications/bravo.desktop", entry("Bravo"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the fixture's own writes are well before the scan
    AppLauncher launcher(CatalogLocations{tree.path("root"), {tree.path("home/applications")}}, LauncherServices{});
    tree.write("home/applications/charlie.desktop", entry("Charlie"));
    CatalogRefresher refresher(launcher, LiveCatalog::fastOptions());
    const auto limit = Clock::now() + std::chrono::seconds(30);
    while (launcher.applicationIndex().apps().size() < 2 && Clock::now() < limit) {
        pollfd watched{refresher.fileDescriptor(), POLLIN, 0};
        if (::poll(&watched, 1, 10) > 0)
            refresher.processEvents();
    }
    EXPECT_EQ(launcher.applicationIndex().apps().size(), 2u);
    EXPECT_EQ(refresher.buildsStarted(), 1u);
}

// With nothing changing, the descriptor stays silent: no timer, no thread, nothing to wake up for.
TEST_F(CatalogRefreshTest, IdleMeansNoWakeUps)
{
    test::TempTree tree;
    tree.write("home/applications/bravo.desktop", entry("Bravo"));
    LiveCatalog live(tree);
    tree.write("home/applications/charlie.desktop", entry("Charlie"));
    live.settle();
    ASSERT_EQ(live.names(), (Strings{"Bravo", "Charlie"}));
    EXPECT_TRUE(live.refresher().isIdle());
    pollfd watched{live.refresher().fileDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 1000), 0);
}

// 20,000 file events (10,000 files created, most removed again) while the launcher runs: a bounded number of
// builds, and the list ends as the directory ends.
TEST_F(CatalogRefreshTest, FloodOfEventsEndsInTheFinalStateWithFewBuilds)
{
    test::TempTree tree;
    tree.write("home/applications/bravo.desktop", entry("Bravo"));
    LiveCatalog live(tree);
    const auto start = Clock::now();
    std::thread writer([&tree] {
        for (int i = 0; i < 10000; ++i) {
            const std::string path = "dirs/applications/flood-" + std::to_string(i) + ".desktop";
            tree.write(path, entry("Flood " + std::to_string(i)));
            if (i % 100 != 0)
                fs::remove(tree.path(path));
        }
    });
    while (writer.joinable()) {
        live.step(5);
        if (Clock::now() - start > std::chrono::seconds(1)) { // let the writer finish while events pile up
            writer.join();
        }
    }
    live.settle();
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(live.names().size(), 1u + 100);
    // At most one build per longest delay of a continuous burst, plus the one after the end.
    EXPECT_LE(live.refresher().buildsStarted(), static_cast<std::size_t>(elapsedMs / 300 + 2));
    EXPECT_GE(live.refresher().buildsStarted(), 1u);
}

} // namespace
} // namespace kestrel
