#pragma once

#include "app/Catalog.h"
#include "catalog/CatalogWatcher.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace kestrel {

class AppLauncher;

/// How a `CatalogRefresher` paces its rebuilds.
struct CatalogRefreshOptions {
    /// A rebuild starts once no change has been seen for this long.
    std::chrono::milliseconds quietPeriod{200};
    /// ... or at the latest this long after the first change of a burst that never pauses.
    std::chrono::milliseconds longestDelay{2000};
    /// Passed to the `CatalogWatcher`.
    std::size_t maxWatches = CatalogWatcher::defaultMaxWatches;
    /// Passed to the `CatalogWatcher`: told when watching fails or runs out of watches.
    CatalogWatcher::ReportProblem reportProblem;
    /// Builds the new catalogue on the worker thread; `Catalog::build` when empty.
    std::function<Catalog(const CatalogLocations&)> build;
    /// The clock the two periods above are measured on; `std::chrono::steady_clock::now` when empty. Read on
    /// the controller's thread only. An owner that gives a clock of its own calls `processEvents()` after
    /// moving it: the descriptor wakes the owner when the time left has passed in real time.
    std::function<std::chrono::steady_clock::time_point()> now;
};

/// Keeps a controller's catalogue current while the program runs. It watches the controller's catalogue
/// directories; after a burst of changes and a quiet period it builds a complete new catalogue on a
/// worker thread and hands it to `AppLauncher::replaceCatalog` on the controller's thread. At most one
/// build runs at a time; changes seen during a build lead to exactly one more build after it. With
/// nothing changing, no timer is armed and no thread exists.
///
/// Event loop: the owner polls `fileDescriptor()` for reading and calls `processEvents()` whenever it is
/// readable, on the controller's thread; nothing here ever calls back from another thread.
class CatalogRefresher {
public:
    /// Starts watching the directories of `launcher`'s catalogue; `launcher` must outlive this object.
    explicit CatalogRefresher(AppLauncher& launcher, CatalogRefreshOptions options = {});
    /// Waits for a build in flight to end and drops its result.
    ~CatalogRefresher();
    CatalogRefresher(const CatalogRefresher&) = delete;
    CatalogRefresher& operator=(const CatalogRefresher&) = delete;

    /// A non-blocking descriptor (epoll) that is readable while file events, the end of the quiet period
    /// or a finished build wait to be handled; -1 if the system could not provide one.
    int fileDescriptor() const { return m_epoll; }

    /// Handles whatever is waiting; never blocks for long. True when a new catalogue was swapped in.
    bool processEvents();

    /// Counts as a change in the directories (what a file event leads to).
    void noteChange();

    /// Builds started so far.
    std::size_t buildsStarted() const { return m_buildsStarted; }
    /// No change waiting, no timer armed, no build running.
    bool isIdle() const { return !m_timerArmed && !m_building && !m_changedDuringBuild; }
    const CatalogWatcher& watcher() const { return m_watcher; }

private:
    void armTimer();
    void disarmTimer();
    void startBuild();
    void finishBuild();

    AppLauncher& m_launcher;
    CatalogRefreshOptions m_options;
    CatalogWatcher m_watcher;
    int m_epoll = -1;
    int m_timer = -1;
    int m_done = -1;

    bool m_timerArmed = false;
    bool m_building = false;
    bool m_changedDuringBuild = false;
    /// The first and the latest change not yet covered by a build, and when the armed timer is due.
    std::chrono::steady_clock::time_point m_burstStart;
    std::chrono::steady_clock::time_point m_lastChange;
    std::chrono::steady_clock::time_point m_deadline;
    std::size_t m_buildsStarted = 0;

    std::thread m_worker;
    /// Frees the catalogue that the last swap replaced.
    std::thread m_disposer;
    std::mutex m_resultMutex;
    std::optional<Catalog> m_result;
};

} // namespace kestrel
