#pragma once

#include "catalog/CatalogLocations.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel {

/// Notices changes in the directories the catalogue is built from (Linux inotify, one descriptor).
///
/// Watched: each XDG applications directory and every directory below it (symbolic links followed, each
/// directory once, as deep as the scan goes), and each of the four bundle directories (their entries; a
/// change inside a bundle is not noticed). For a directory that does not exist or cannot be watched, its
/// nearest existing ancestor is watched instead, for the next component on the way only, so that a
/// directory created later is noticed and then watched itself. Watches are re-established when a watched
/// directory is deleted, renamed, replaced, made readable again or comes back.
///
/// The owner polls `fileDescriptor()` for reading and then calls `processEvents()`. Main thread only
/// (one thread at a time); no threads, no timers; the one callback tells the owner of problems.
class CatalogWatcher {
public:
    /// The most directories watched unless the constructor is told otherwise.
    static constexpr std::size_t defaultMaxWatches = 1024;

    /// Told of a problem the user should know of: `cause` names it (each is told once), `line` says it
    /// in one sentence for the launcher's stderr.
    using ReportProblem = std::function<void(std::string_view cause, std::string_view line)>;

    /// Starts watching `locations`. At most `maxWatches` directories are watched; past that, or when the
    /// system runs out of watches, the watcher keeps the ones it has and tells `reportProblem` once. When
    /// inotify is unavailable, `fileDescriptor()` is -1, `reportProblem` is told, and no change is ever
    /// reported. `reportProblem` may be empty.
    explicit CatalogWatcher(const CatalogLocations& locations, std::size_t maxWatches = defaultMaxWatches,
                            ReportProblem reportProblem = {});
    ~CatalogWatcher();
    CatalogWatcher(const CatalogWatcher&) = delete;
    CatalogWatcher& operator=(const CatalogWatcher&) = delete;

    /// Non-blocking descriptor that becomes readable when events wait; -1 when watching is unavailable.
    int fileDescriptor() const { return m_fd; }

    /// Reads the waiting events (a bounded amount per call: call again while the descriptor stays
    /// readable), updates the watches, and answers whether anything the catalogue depends on may have
    /// changed. Never blocks.
    bool processEvents();

    /// Whether a watched directory was modified at or after `time` (entries added, removed or renamed in
    /// it), judged by its modification time. Lets the owner catch up with changes made between a scan
    /// and the start of watching.
    bool modifiedSince(std::chrono::system_clock::time_point time) const;

    /// Directories currently watched (including ancestors watched for a missing directory).
    std::size_t watchCount() const { return m_watches.size(); }

private:
    struct Watch {
        std::string path;
        /// Depth below its XDG applications directory; -1 for a bundle directory or a pure ancestor.
        int xdgDepth = -1;
        bool isRoot = false;
        bool watchesContent = false;
        /// Names of children on the way to a missing root (this watch stands in for them).
        std::vector<std::string> pendingChildren;
    };

    /// Drops every watch and watches everything again from the locations.
    void rebuildWatches();
    /// Watches one root: the directory itself (and, for XDG, its tree), else its nearest ancestor.
    void watchRoot(const std::string& root, bool isXdg);
    /// Watches `path` and, for XDG directories, every directory below it; false when `path` is not watched.
    bool watchTree(const std::string& path, int xdgDepth, bool isRoot);
    /// Adds one inotify watch (adding `mask` to what the directory is already watched for); the watch
    /// descriptor, or -1 (also when the limit stops it).
    int addWatch(const std::string& path, std::uint32_t mask);
    /// Whether a watched directory lies at or below `path`.
    bool watchesBelow(const std::string& path) const;
    std::unordered_map<int, Watch>& target() { return m_building ? *m_building : m_watches; }
    /// Applies one event; sets `m_rebuildNeeded` when the watch set must be rebuilt. True when relevant.
    bool handleEvent(int wd, std::uint32_t mask, const std::string& name);
    void reportLimit();

    CatalogLocations m_locations;
    std::size_t m_maxWatches;
    ReportProblem m_reportProblem;
    int m_fd = -1;
    std::unordered_map<int, Watch> m_watches;
    /// Watches added during the current rebuild (the others are removed at its end).
    std::unordered_map<int, Watch>* m_building = nullptr;
    bool m_rebuildNeeded = false;
    bool m_limitReported = false;
};

} // namespace kestrel
