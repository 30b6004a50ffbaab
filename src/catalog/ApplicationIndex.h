#pragma once

#include "catalog/CatalogLocations.h"
#include "catalog/LauncherApp.h"

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrel {

/// The catalogue of installed applications: every ".app" entry of the four bundle directories and every
/// visible desktop entry of the XDG application directories, sorted by name with the user's collation
/// (case-insensitive, stable). Built by `loadApplications()` on one thread at a time.
class ApplicationIndex {
public:
    /// Empty catalogue; does not scan.
    explicit ApplicationIndex(CatalogLocations locations = CatalogLocations::defaults());

    /// Replaces `apps()` with a fresh scan of all directories, then sorts it. Never fails: directories
    /// and entries that cannot be read are skipped silently.
    void loadApplications();

    /// The records, in display order.
    const std::vector<LauncherApp>& apps() const { return m_apps; }
    /// When the last `loadApplications()` began (wall clock, as file times are); the epoch before any.
    std::chrono::system_clock::time_point loadStartedAt() const { return m_loadStartedAt; }
    /// Where this index looks.
    const CatalogLocations& locations() const { return m_locations; }

private:
    /// Appends one record per ".app" entry directly inside `path`, in listing order.
    void scanDirectory(const std::string& path);
    /// Appends one record per visible desktop entry of the XDG directories, in precedence order.
    void scanDesktopEntries();
    /// Sorts `m_apps` by name with the user's collation; equal names keep their scan order.
    void sortByName();
    /// One shared handle per distinct icon source seen during a scan.
    IconRef sharedIcon(IconSource::Kind kind, const std::string& value);

    CatalogLocations m_locations;
    std::vector<LauncherApp> m_apps;
    std::vector<std::string> m_bundleDirectories; // the four, in scan order
    std::unordered_map<std::string, IconRef> m_themeIcons;
    std::chrono::system_clock::time_point m_loadStartedAt;
};

} // namespace kestrel
