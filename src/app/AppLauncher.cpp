#include "app/AppLauncher.h"

#include "app/CalculatorRow.h"
#include "app/SearchIndex.h"
#include "calculator/NumberText.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kestrel {

namespace {

/// `index` clamped into a list of `count` rows: the last row at most, never below 0.
std::int64_t clampedIndex(std::int64_t index, std::size_t count)
{
    const std::int64_t last = static_cast<std::int64_t>(count) - 1;
    return std::max<std::int64_t>(0, std::min(index, last));
}

} // namespace

AppLauncher::AppLauncher(CatalogLocations locations, LauncherServices services)
    : m_catalog(std::move(locations))
    , m_services(std::move(services))
    , m_lifetime(std::make_shared<AppLauncher*>(this))
{
    // The published fields already hold their defaults and no window exists. The key is registered
    // before the scan, so a slow scan does not delay it.
    setupHotKey();
    m_catalog = Catalog::build(m_catalog.index().locations());
    showWholeCatalogue();
}

AppLauncher::~AppLauncher()
{
    // Expire the weak handle first: a hot key press arriving during teardown must find no controller.
    m_lifetime.reset();
}

void AppLauncher::setupHotKey()
{
    if (!m_services.hotKey) {
        return;
    }
    std::weak_ptr<AppLauncher*> weakSelf = m_lifetime;
    m_services.hotKey->registerHotKey([weakSelf](const Activation& activation) {
        if (const std::shared_ptr<AppLauncher*> self = weakSelf.lock()) {
            (*self)->toggleSearchWindow(activation);
        }
    });
}

void AppLauncher::setIsSearchVisible(bool visible)
{
    m_objectWillChange.send();
    m_isSearchVisible = visible;
}

void AppLauncher::setSearchText(std::string text)
{
    m_objectWillChange.send();
    m_searchText = std::move(text);
}

void AppLauncher::setFilteredApps(std::vector<LauncherApp> apps)
{
    m_objectWillChange.send();
    m_filteredApps = std::move(apps);
    m_filteredIsCatalogue = false;
}

void AppLauncher::showWholeCatalogue()
{
    m_objectWillChange.send();
    // Every show starts from the empty text: when the list already is the whole catalogue, the copy
    // would assign an equal value.
    if (!m_filteredIsCatalogue) {
        m_filteredApps = m_catalog.index().apps();
        m_filteredIsCatalogue = true;
    }
}

void AppLauncher::assignSelectedIndex(std::int64_t index)
{
    m_objectWillChange.send();
    m_selectedIndex = index;
}

void AppLauncher::setSelectedIndex(std::int64_t index)
{
    assignSelectedIndex(clampedIndex(index, m_filteredApps.size()));
}

void AppLauncher::setShowingSettings(bool showing)
{
    m_objectWillChange.send();
    m_showingSettings = showing;
}

void AppLauncher::toggleSearchWindow(const Activation& activation)
{
    if (m_isSearchVisible) {
        hideSearchWindow();
    } else {
        showSearchWindow(activation);
    }
}

void AppLauncher::showSearchWindow(const Activation& activation)
{
    if (!m_searchWindow && m_services.makeSearchWindow) {
        m_searchWindow = m_services.makeSearchWindow(*this);
    }
    if (m_searchWindow) {
        m_searchWindow->center();
        m_searchWindow->makeKeyAndOrderFront(activation);
    }
    if (m_services.activator != nullptr) {
        m_services.activator->activateIgnoringOtherApps();
    }
    setIsSearchVisible(true);
    setSearchText(std::string());
    assignSelectedIndex(0);
    updateSearchResults();
}

void AppLauncher::hideSearchWindow()
{
    if (m_searchWindow) {
        m_searchWindow->orderOut();
    }
    setIsSearchVisible(false);
}

void AppLauncher::updateSearchResults()
{
    if (m_searchText.empty()) {
        showWholeCatalogue();
        assignSelectedIndex(0);
        return;
    }
    std::vector<LauncherApp> results;
    if (std::optional<LauncherApp> row = makeCalculatorRow(m_searchText)) {
        results.push_back(std::move(*row));
    }
    appendApplicationMatches(results);
    setFilteredApps(std::move(results));
    assignSelectedIndex(0);
}

void AppLauncher::appendApplicationMatches(std::vector<LauncherApp>& out) const
{
    if (m_searchText.empty()) {
        // Only the truly empty text lists everything, in the catalogue's own order.
        out.insert(out.end(), m_catalog.index().apps().begin(), m_catalog.index().apps().end());
        return;
    }
    m_catalog.searchIndex().appendMatches(m_searchText, out);
}

Catalog AppLauncher::replaceCatalog(Catalog catalog)
{
    std::swap(m_catalog, catalog);
    // The list shown, whatever it is, no longer is the catalogue: the next empty text copies the new one.
    m_filteredIsCatalogue = false;
    if (!m_isSearchVisible) {
        return catalog;
    }
    const auto selected = static_cast<std::size_t>(m_selectedIndex);
    std::optional<FileUrl> selectedUrl;
    if (selected < m_filteredApps.size() && m_filteredApps[selected].type() == LauncherItemType::application) {
        selectedUrl = m_filteredApps[selected].url();
    }
    // The text is unchanged, so the calculator row would come out the same; keeping the record keeps its id.
    std::vector<LauncherApp> results;
    if (!m_filteredApps.empty() && m_filteredApps.front().type() == LauncherItemType::calculation) {
        results.push_back(m_filteredApps.front());
    }
    appendApplicationMatches(results);

    std::int64_t index = clampedIndex(m_selectedIndex, results.size());
    if (selectedUrl) {
        const auto same = std::find_if(results.begin(), results.end(), [&](const LauncherApp& app) {
            return app.type() == LauncherItemType::application && app.url() == selectedUrl;
        });
        if (same != results.end()) {
            index = same - results.begin();
        }
    }
    setFilteredApps(std::move(results));
    assignSelectedIndex(index);
    return catalog;
}

void AppLauncher::moveSelection(std::int64_t offset)
{
    std::int64_t target = 0;
    if (__builtin_add_overflow(m_selectedIndex, offset, &target)) {
        // Only an offset near the limits of the type gets here; it points past one end of the list.
        target = offset > 0 ? std::numeric_limits<std::int64_t>::max() : 0;
    }
    assignSelectedIndex(clampedIndex(target, m_filteredApps.size()));
}

void AppLauncher::activateSelected()
{
    if (m_selectedIndex < 0 || m_selectedIndex >= static_cast<std::int64_t>(m_filteredApps.size())) {
        return;
    }
    const LauncherApp item = m_filteredApps[static_cast<std::size_t>(m_selectedIndex)];
    launchItem(item);
    hideSearchWindow();
}

void AppLauncher::launchItem(const LauncherApp& item)
{
    if (item.type() == LauncherItemType::calculation) {
        const std::optional<double>& result = item.calculationResult();
        // Rows built here always carry a finite result; anything else has no text form and is skipped.
        if (!result || !std::isfinite(*result) || m_services.pasteboard == nullptr) {
            return;
        }
        m_services.pasteboard->clearContents();
        m_services.pasteboard->setString(defaultTextForm(*result));
        return;
    }
    if (item.url() && m_services.workspace != nullptr) {
        m_services.workspace->openApplication(*item.url());
    }
}

} // namespace kestrel
