// Measures the live catalogue in one process, with the refresher driven by a poll loop on the main thread
// as the launcher's event loop drives it (scripts/measure runs it; a measurement, never a test):
//
//   catalog_refresh_measure [ENTRIES]     (default 5000, in 40 directories)
//
//   1. appearance: a new desktop entry is written; the time until the shown result list holds it
//      (median and maximum of 20 entries, one after the other);
//   2. main-thread stall: while rescans of the whole catalogue run (an entry touched, 10 times, the window
//      shown with a text typed), the longest single call into the refresher on the main thread (file
//      events, the end of the quiet period, the swap with the rebuilt result list) and the longest gap
//      between two turns of the loop, which polls with a 1 ms timeout (and that gap over 3 s without
//      changes, for comparison: on a busy machine the scheduler alone delays the loop);
//   3. flood: 10,000 entries written and 9,900 of them removed again by another thread (30,000 file
//      events): the longest main-thread call, the number of rebuilds, and whether the list ends right.

#include "GeneratedCatalog.h"
#include "app/AppLauncher.h"
#include "app/CatalogRefresher.h"

#include <poll.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

/// One machine-readable line per figure, for scripts/measure: "figure NAME ms SAMPLE...".
void printFigure(const char* name, const std::vector<double>& samples)
{
    std::printf("figure %s ms", name);
    for (const double sample : samples)
        std::printf(" %.3f", sample);
    std::printf("\n");
}

using namespace kestrel;
using bench::writeEntry;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

/// The refresher's loop, with the longest call and the longest gap between turns.
struct Loop {
    CatalogRefresher& refresher;
    double longestCall = 0;
    double longestGap = 0;

    void turn(int timeoutMs)
    {
        const Clock::time_point before = Clock::now();
        pollfd watched{refresher.fileDescriptor(), POLLIN, 0};
        const bool readable = ::poll(&watched, 1, timeoutMs) > 0;
        const Clock::time_point woke = Clock::now();
        if (readable) {
            refresher.processEvents();
            longestCall = std::max(longestCall, milliseconds(Clock::now() - woke));
        }
        // Time in the loop beyond the poll's own timeout: what a keystroke would have waited for.
        longestGap = std::max(longestGap, milliseconds(Clock::now() - before) - timeoutMs);
    }
};

bool listed(const AppLauncher& launcher, const std::string& path)
{
    return std::any_of(launcher.filteredApps().begin(), launcher.filteredApps().end(),
                       [&](const LauncherApp& app) { return app.url() && app.url()->path() == path; });
}

} // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const fs::path root = bench::writeGeneratedCatalog("kestrel-refresh", entries);
    const fs::path applications = root / "applications";

    AppLauncher launcher(CatalogLocations{(root / "bundles").string(), {applications.string()}}, LauncherServices{});
    const Clock::time_point constructing = Clock::now();
    CatalogRefresher refresher(launcher);
    std::printf("%d entries in %zu watched directories, watches set up in %.2f ms\n", entries,
                refresher.watcher().watchCount(), milliseconds(Clock::now() - constructing));
    launcher.showSearchWindow();
    Loop loop{refresher};

    std::vector<double> appear;
    for (int i = 0; i < 20; ++i) {
        const fs::path path = applications / ("probe-" + std::to_string(i) + ".desktop");
        const Clock::time_point written = Clock::now();
        writeEntry(path, "Probe " + std::to_string(i));
        while (!listed(launcher, path.string()) && Clock::now() - written < std::chrono::seconds(30))
            loop.turn(1);
        appear.push_back(milliseconds(Clock::now() - written));
    }
    printFigure("refresh.listed", appear);
    std::sort(appear.begin(), appear.end());
    std::printf("new entry listed after: median %.1f ms, max %.1f ms (20 entries)\n", (appear[9] + appear[10]) / 2,
                appear.back());

    launcher.setSearchText("application 1");
    launcher.updateSearchResults();
    // The same loop with nothing changing: how long the machine itself keeps this thread waiting.
    loop.longestGap = 0;
    for (const Clock::time_point start = Clock::now(); Clock::now() - start < std::chrono::seconds(3);)
        loop.turn(1);
    const double idleGap = loop.longestGap;
    loop.longestCall = loop.longestGap = 0;
    const std::size_t before = refresher.buildsStarted();
    for (int i = 0; i < 10; ++i) {
        writeEntry(applications / "app-0.desktop", "Generated Application 0 touched " + std::to_string(i));
        const std::size_t target = before + static_cast<std::size_t>(i) + 1;
        const Clock::time_point start = Clock::now();
        while ((refresher.buildsStarted() < target || !refresher.isIdle())
               && Clock::now() - start < std::chrono::seconds(30))
            loop.turn(1);
    }
    std::printf("during %zu rescans of %d entries (%zu rows shown): longest main-thread call %.2f ms, "
                "longest loop stall %.2f ms (%.2f ms in 3 s without changes)\n",
                refresher.buildsStarted() - before, entries, launcher.filteredApps().size(), loop.longestCall,
                loop.longestGap, idleGap);
    printFigure("refresh.longest-call", {loop.longestCall});

    launcher.setSearchText("");
    launcher.updateSearchResults();
    loop.longestCall = 0;
    const std::size_t beforeFlood = refresher.buildsStarted();
    const std::size_t listedBefore = launcher.filteredApps().size();
    std::atomic<bool> written{false};
    std::thread writer([&applications, &written] {
        for (int i = 0; i < 10000; ++i) {
            const fs::path path = applications / ("flood-" + std::to_string(i) + ".desktop");
            writeEntry(path, "Flood " + std::to_string(i));
            if (i % 100 != 0)
                fs::remove(path);
        }
        written = true;
    });
    // Until the writer is done and the refresher has been idle for a second.
    for (Clock::time_point quietSince = Clock::now(); Clock::now() - quietSince < std::chrono::seconds(1);) {
        loop.turn(1);
        if (!written || !refresher.isIdle())
            quietSince = Clock::now();
    }
    writer.join();
    std::printf("flood of 30,000 file events: longest main-thread call %.2f ms, %zu rebuilds, %zu of %zu "
                "rows listed at the end\n",
                loop.longestCall, refresher.buildsStarted() - beforeFlood, launcher.filteredApps().size(),
                listedBefore + 100);

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
