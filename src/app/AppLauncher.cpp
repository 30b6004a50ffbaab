#include "app/AppLauncher.h"

#include "app/CalculatorRow.h"
#include "app/SearchIndex.h"
#include "calculator/NumberText.h"
#include "text/LocaleCollator.h"

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
    : m_applicationIndex(std::move(locations))
    , m_services(std::move(services))
    , m_lifetime(std::make_shared<AppLauncher*>(this))
{
    // The published fields already hold their defaults and no window exists. The key is registered
    // before the scan, so a slow scan does not delay it.
    setupHotKey();
    m_applicationIndex.loadApplications();
    m_searchIndex = std::make_unique<SearchIndex>(m_applicationIndex.apps(), text::LocaleCollator::forUser());
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
    m_services.hotKey->registerHotKey([weakSelf]() {
        if (const std::shared_ptr<AppLauncher*> self = weakSelf.lock()) {
            (*self)->toggleSearchWindow();
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
        m_filteredApps = m_applicationIndex.apps();
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

void AppLauncher::toggleSearchWindow()
{
    if (m_isSearchVisible) {
        hideSearchWindow();
    } else {
        showSearchWindow();
    }
}

void AppLauncher::showSearchWindow()
{
    if (!m_searchWindow && m_services.makeSearchWindow) {
        m_searchWindow = m_services.makeSearchWindow(*this);
    }
    if (m_searchWindow) {
        m_searchWindow->center();
        m_searchWindow->makeKeyAndOrderFront();
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
    m_searchIndex->appendMatches(m_searchText, results);
    setFilteredApps(std::move(results));
    assignSelectedIndex(0);
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
