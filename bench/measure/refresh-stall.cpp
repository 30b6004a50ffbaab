// The live catalogue inside the Qt application: the search window shown (offscreen platform unless told
// otherwise) with a text typed, 5,000 desktop entries, and rescans triggered one after the other. A 1 ms
// precise timer records how late Qt's event loop runs it: the longest delay while rescans run (the swap,
// the rebuilt result list, the model update and the repaint it causes), beside the same while the text is
// changed as often (what a keystroke costs) and in as long without changes. scripts/measure runs it; a measurement,
// never a test.
//
//   kestrel-refresh-stall [ENTRIES]

#include "../GeneratedCatalog.h"
#include "app/AppLauncher.h"
#include "desktop/CatalogRefreshNotifier.h"
#include "desktop/SearchWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

using namespace kestrel;
using bench::writeEntry;
namespace fs = std::filesystem;

/// Runs the event loop for `ms` milliseconds and returns the longest lateness of a 1 ms timer.
double longestLateness(int ms, const std::function<void(int)>& eachTick)
{
    QElapsedTimer clock;
    clock.start();
    double longest = 0;
    qint64 last = clock.nsecsElapsed();
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, static_cast<double>(now - last) / 1e6 - 1.0);
        last = now;
        eachTick(++ticks);
    });
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return longest;
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const fs::path root = bench::writeGeneratedCatalog("kestrel-stall", entries);
    const fs::path applications = root / "applications";

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    LauncherServices services;
    services.makeSearchWindow = [](AppLauncher& owner) { return std::make_unique<SearchWindow>(owner); };
    AppLauncher launcher(CatalogLocations{(root / "bundles").string(), {applications.string()}}, std::move(services));
    CatalogRefreshNotifier notifier(launcher);
    launcher.showSearchWindow();
    launcher.setSearchText("application 1");
    launcher.updateSearchResults();

    const double idle = longestLateness(5000, [](int) {});
    int touched = 0;
    const std::size_t before = notifier.refresher().buildsStarted();
    // An entry rewritten every 500 ms: a rescan of the whole catalogue each time.
    const double busy = longestLateness(5000, [&](int tick) {
        if (tick % 500 == 1)
            writeEntry(applications / "app-0.desktop", "Generated Application 0 v" + std::to_string(++touched));
    });
    // For comparison, what a keystroke costs: the text changed every 500 ms between two texts with as many
    // rows, as the search field would change it.
    int typed = 0;
    const double typing = longestLateness(5000, [&](int tick) {
        if (tick % 500 == 1)
            launcher.setSearchText(++typed % 2 == 0 ? "application 1" : "application 2");
    });
    std::printf("Qt event loop, %d entries, %zu rows shown: longest 1 ms timer delay %.2f ms during %zu rescans, "
                "%.2f ms while typing, %.2f ms in as long without changes\n",
                entries, launcher.filteredApps().size(), busy, notifier.refresher().buildsStarted() - before, typing,
                idle);
    // One machine-readable line per figure, for scripts/measure.
    std::printf("figure stall.rescans ms %.3f\nfigure stall.typing ms %.3f\nfigure stall.idle ms %.3f\n", busy, typing,
                idle);

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
