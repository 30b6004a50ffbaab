#include "catalog/CatalogWatcher.h"

#include "catalog/DesktopFileScanner.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace kestrel {

namespace {

// Everything that can add, remove, rename or rewrite an entry, or change whether a directory can be read.
// IN_MODIFY is left out on purpose: a writer's close (IN_CLOSE_WRITE) marks the end of a write, so a
// large file being copied does not restart the quiet period on every block.
// IN_MASK_ADD: one directory can be both watched for its entries and stand in for a missing one.
constexpr std::uint32_t contentMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB
                                      | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// A stand-in only waits for names to come, go or change permissions; without IN_CLOSE_WRITE, files written
// in it (a stand-in can be the home directory) do not wake the process.
constexpr std::uint32_t standInMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF
                                      | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;

// Reads per `processEvents()` call: bounds the time one call takes during a flood (one read of the buffer
// below is at most some hundreds of events).
constexpr int readsPerCall = 1;

struct DirCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

/// The directory above `path` ("/" above "/a", "." above a bare name); "" above "/" and ".".
std::string parentOf(const std::string& path)
{
    if (path == "/" || path == "." || path.empty())
        return std::string();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isDirectory(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

CatalogWatcher::CatalogWatcher(const CatalogLocations& locations, std::size_t maxWatches, ReportProblem reportProblem)
    : m_locations(locations)
    , m_maxWatches(maxWatches)
    , m_reportProblem(std::move(reportProblem))
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        if (m_reportProblem)
            m_reportProblem("watching", std::string("cannot watch the application directories (") + std::strerror(errno)
                                            + "); applications installed or removed from now on show after a "
                                              "restart");
        return;
    }
    rebuildWatches();
}

CatalogWatcher::~CatalogWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CatalogWatcher::processEvents()
{
    if (m_fd < 0)
        return false;
    alignas(inotify_event) char buffer[16 * 1024];
    bool relevant = false;
    for (int round = 0; round < readsPerCall; ++round) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break; // EAGAIN: drained; EINTR: the next call goes on
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            const std::string name = event->len > 0 ? std::string(event->name) : std::string();
            relevant = handleEvent(event->wd, event->mask, name) || relevant;
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (m_rebuildNeeded) {
        m_rebuildNeeded = false;
        rebuildWatches();
        relevant = true;
    }
    return relevant;
}

bool CatalogWatcher::handleEvent(int wd, std::uint32_t mask, const std::string& name)
{
    if ((mask & IN_Q_OVERFLOW) != 0) {
        m_rebuildNeeded = true; // events were lost: anything may have happened anywhere
        return true;
    }
    const auto found = m_watches.find(wd);
    if (found == m_watches.end())
        return false; // a watch removed earlier; its last events may still be queued
    Watch& watch = found->second;
    const bool standsIn = !watch.pendingChildren.empty();
    if ((mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
        // The directory went away or moved: a root, or an ancestor standing in for one, must be looked for
        // again; a subdirectory's parent reports the same change by name.
        const bool relevant = watch.watchesContent || standsIn;
        if (watch.isRoot || standsIn)
            m_rebuildNeeded = true;
        if ((mask & IN_IGNORED) != 0)
            m_watches.erase(found);
        return relevant;
    }
    bool relevant = false;
    if (standsIn
        && std::find(watch.pendingChildren.begin(), watch.pendingChildren.end(), name) != watch.pendingChildren.end()) {
        m_rebuildNeeded = true; // the missing directory, or a directory on the way to it, changed
        relevant = true;
    }
    if (!watch.watchesContent)
        return relevant;
    if (name.empty())
        return true; // the directory itself changed (permissions): its listing may differ
    if (watch.xdgDepth < 0)
        return relevant || endsWith(name, ".app");
    if (endsWith(name, ".desktop"))
        return true;
    // Another name in an applications tree matters only when it is (or was) a directory.
    const std::string child = watch.path + "/" + name;
    if ((mask & (IN_DELETE | IN_MOVED_FROM)) != 0 && watchesBelow(child)) {
        m_rebuildNeeded = true; // a watched subtree left: paths below it are stale
        return true;
    }
    if ((mask & (IN_CREATE | IN_MOVED_TO | IN_ATTRIB)) != 0) {
        const std::size_t before = m_watches.size();
        const bool isNewDirectory = (mask & IN_ISDIR) != 0 || isDirectory(child);
        if (isNewDirectory && static_cast<std::size_t>(watch.xdgDepth) < DesktopFileScanner::maxDepth)
            watchTree(child, watch.xdgDepth + 1, false);
        return relevant || isNewDirectory || m_watches.size() != before;
    }
    return relevant || (mask & IN_ISDIR) != 0;
}

void CatalogWatcher::rebuildWatches()
{
    std::unordered_map<int, Watch> fresh;
    m_building = &fresh;
    for (const std::string& directory : m_locations.xdgApplicationDirectories)
        watchRoot(directory, true);
    for (const std::string& directory : m_locations.bundleDirectories())
        watchRoot(directory, false);
    m_building = nullptr;
    for (const auto& [wd, watch] : m_watches) {
        if (fresh.find(wd) == fresh.end())
            ::inotify_rm_watch(m_fd, wd);
    }
    m_watches.swap(fresh);
}

void CatalogWatcher::watchRoot(const std::string& root, bool isXdg)
{
    std::string lastStandIn;
    // Each round either watches the root or watches an ancestor and checks whether the next directory on
    // the way appeared before that watch existed (then goes one round deeper). The bound ends the rounds
    // when directories keep coming and going meanwhile.
    for (int round = 0; round < 8; ++round) {
        if (watchTree(root, isXdg ? 0 : -1, true))
            return;
        std::string child = root;
        std::string parent = parentOf(root);
        int wd = -1;
        while (!parent.empty() && (wd = addWatch(parent, standInMask)) < 0) {
            child = parent;
            parent = parentOf(parent);
        }
        if (wd < 0 || parent == lastStandIn)
            return; // nothing above can be watched, or no progress since the last round
        Watch& standIn = target()[wd];
        if (standIn.path.empty())
            standIn.path = parent;
        const std::string name = baseName(child);
        if (std::find(standIn.pendingChildren.begin(), standIn.pendingChildren.end(), name)
            == standIn.pendingChildren.end())
            standIn.pendingChildren.push_back(name);
        lastStandIn = parent;
        if (!isDirectory(child))
            return; // its creation will be reported on the stand-in
    }
}

bool CatalogWatcher::watchTree(const std::string& path, int xdgDepth, bool isRoot)
{
    const int wd = addWatch(path, contentMask);
    if (wd < 0)
        return false;
    Watch& watch = target()[wd];
    const bool walkedBefore = watch.watchesContent && watch.xdgDepth >= 0;
    if (watch.path.empty() || !watch.watchesContent)
        watch.path = path;
    watch.watchesContent = true;
    watch.isRoot = watch.isRoot || isRoot;
    if (watch.xdgDepth < 0 || (xdgDepth >= 0 && xdgDepth < watch.xdgDepth))
        watch.xdgDepth = xdgDepth;
    if (xdgDepth < 0 || walkedBefore || static_cast<std::size_t>(xdgDepth) >= DesktopFileScanner::maxDepth)
        return true; // a bundle directory, or a directory already walked (a link loop or a second link)

    const std::unique_ptr<DIR, DirCloser> listing(::opendir(path.c_str()));
    if (!listing)
        return true; // unreadable: watched for the change of permissions that makes it readable
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || endsWith(name, ".desktop"))
            continue;
        if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        const std::string child = path + "/" + std::string(name);
        if (entry->d_type == DT_DIR || isDirectory(child))
            watchTree(child, xdgDepth + 1, false);
    }
    return true;
}

int CatalogWatcher::addWatch(const std::string& path, std::uint32_t mask)
{
    const int wd = ::inotify_add_watch(m_fd, path.c_str(), mask);
    if (wd < 0) {
        if (errno == ENOSPC)
            reportLimit();
        return -1; // missing, not a directory, not readable, a link loop, or no watches left
    }
    std::unordered_map<int, Watch>& watches = target();
    if (watches.find(wd) == watches.end() && watches.size() >= m_maxWatches) {
        if (m_watches.find(wd) == m_watches.end())
            ::inotify_rm_watch(m_fd, wd);
        reportLimit();
        return -1;
    }
    return wd;
}

bool CatalogWatcher::modifiedSince(std::chrono::system_clock::time_point time) const
{
    const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    return std::any_of(m_watches.begin(), m_watches.end(), [since](const auto& entry) {
        struct stat status { };
        if (::stat(entry.second.path.c_str(), &status) != 0)
            return true; // gone since it was watched: certainly changed
        const std::int64_t modified = std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
        return modified >= since;
    });
}

bool CatalogWatcher::watchesBelow(const std::string& path) const
{
    const std::string prefix = path + "/";
    return std::any_of(m_watches.begin(), m_watches.end(), [&](const auto& entry) {
        const std::string& watched = entry.second.path;
        return watched == path || watched.compare(0, prefix.size(), prefix) == 0;
    });
}

void CatalogWatcher::reportLimit()
{
    if (m_limitReported)
        return;
    m_limitReported = true;
    if (m_reportProblem)
        m_reportProblem("watches", "no more directory watches (" + std::to_string(target().size())
                                       + " in use); applications added in other directories show after a restart");
}

} // namespace kestrel
