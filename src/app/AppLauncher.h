#pragma once

#include "app/ApplicationActivator.h"
#include "app/Catalog.h"
#include "app/HotKey.h"
#include "app/ObjectWillChangePublisher.h"
#include "app/Pasteboard.h"
#include "app/SearchWindowPort.h"
#include "app/Workspace.h"
#include "catalog/ApplicationIndex.h"
#include "catalog/LauncherApp.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

class AppLauncher;

/// The desktop services the controller talks through. The controller owns the hot key and the window
/// it creates; the other services must outlive the controller.
struct LauncherServices {
    std::unique_ptr<HotKey> hotKey;
    /// Builds the one search window for the controller; called on the first show only.
    std::function<std::unique_ptr<SearchWindowPort>(AppLauncher&)> makeSearchWindow;
    ApplicationActivator* activator = nullptr;
    Workspace* workspace = nullptr;
    Pasteboard* pasteboard = nullptr;
};

/// The one controller: holds the search state that the views show, rebuilds the result list, moves the
/// selection and carries out the chosen row. Main thread only.
///
/// Published state: `isSearchVisible`, `searchText`, `filteredApps`, `selectedIndex`, `showingSettings`.
/// `objectWillChange` is sent immediately before every assignment to any of them, changed or not.
/// Invariant: `selectedIndex` is never negative, and indexes `filteredApps` whenever it is not empty.
class AppLauncher {
public:
    /// Sets the defaults, creates the index for `locations`, takes the hot key, registers it (a callback
    /// that holds this controller weakly and toggles the window), scans and sorts the catalogue, and
    /// fills `filteredApps` with every application.
    AppLauncher(CatalogLocations locations, LauncherServices services);
    ~AppLauncher();
    AppLauncher(const AppLauncher&) = delete;
    AppLauncher& operator=(const AppLauncher&) = delete;

    ObjectWillChangePublisher& objectWillChange() { return m_objectWillChange; }

    bool isSearchVisible() const { return m_isSearchVisible; }
    const std::string& searchText() const { return m_searchText; }
    const std::vector<LauncherApp>& filteredApps() const { return m_filteredApps; }
    std::int64_t selectedIndex() const { return m_selectedIndex; }
    bool showingSettings() const { return m_showingSettings; }

    /// Written by the search field on every edit, with the whole new text.
    void setSearchText(std::string text);
    /// Written by a click on a row (before `activateSelected()`); should be a valid position or 0. Any other
    /// value is clamped into the list as `moveSelection` does (0 for an empty list), so the invariant holds.
    void setSelectedIndex(std::int64_t index);
    /// Written by the settings button and by the end of the settings sheet.
    void setShowingSettings(bool showing);

    const ApplicationIndex& applicationIndex() const { return m_catalog.index(); }

    /// Puts `catalog` (complete, built for the same locations) in place of the current one and returns
    /// the one it replaces. While hidden nothing else changes: the next show lists the new catalogue.
    /// While shown, the result list is rebuilt for the unchanged `searchText` through the published
    /// setters: a calculator row stays as it was, and the selection stays on the same application (same
    /// location) when it is still listed, else on the same position clamped into the new list. A row that
    /// is no longer listed can therefore not be activated afterwards.
    Catalog replaceCatalog(Catalog catalog);
    /// The window, once the first show has created it; null before.
    SearchWindowPort* searchWindow() const { return m_searchWindow.get(); }

    /// The hot key action: hides the window when `isSearchVisible`, shows it otherwise with `activation`.
    void toggleSearchWindow(const Activation& activation = {});
    /// Creates the window on first use, centres it, brings it to the front with the focus (presenting
    /// `activation`), activates the application, and starts a fresh empty search with the first row
    /// selected.
    void showSearchWindow(const Activation& activation = {});
    /// Orders the window out and clears `isSearchVisible`; the search text, results and selection stay.
    void hideSearchWindow();

    /// Rebuilds `filteredApps` from `searchText`: every application for the empty text; otherwise the
    /// calculator row (when the text is an expression that evaluates), then the applications whose
    /// lower-cased names contain the lower-cased text, those that begin with it first, each group in
    /// the user's collation order. Sets `selectedIndex` to 0.
    void updateSearchResults();
    /// Moves the selection by `offset` rows, stopping at both ends.
    void moveSelection(std::int64_t offset);
    /// Carries out the selected row and hides the window; does nothing at all when there is no row there.
    void activateSelected();
    /// Opens an application row's URL, or puts a calculator row's result on the clipboard as plain text.
    void launchItem(const LauncherApp& item);

private:
    void setupHotKey();
    void setIsSearchVisible(bool visible);
    void setFilteredApps(std::vector<LauncherApp> apps);
    /// `setFilteredApps(applicationIndex().apps())`, without the copy when the list already is that.
    void showWholeCatalogue();
    /// Notifies, then assigns `index` unchecked; callers pass a value that keeps the invariant.
    void assignSelectedIndex(std::int64_t index);
    /// Appends the application rows for `searchText` from the current catalogue (all for the empty text).
    void appendApplicationMatches(std::vector<LauncherApp>& out) const;

    ObjectWillChangePublisher m_objectWillChange;
    bool m_isSearchVisible = false;
    std::string m_searchText;
    std::vector<LauncherApp> m_filteredApps;
    /// Whether `m_filteredApps` holds the application index's list unchanged since it was copied.
    bool m_filteredIsCatalogue = false;
    std::int64_t m_selectedIndex = 0;
    bool m_showingSettings = false;

    /// The applications and their precomputed search data (normalised lower-cased names, collation ranks).
    Catalog m_catalog;
    LauncherServices m_services;
    std::unique_ptr<SearchWindowPort> m_searchWindow;
    /// Expires when the controller is destroyed; the hot key callback holds it weakly.
    std::shared_ptr<AppLauncher*> m_lifetime;
};

} // namespace kestrel
