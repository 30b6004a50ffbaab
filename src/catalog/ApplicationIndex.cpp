#include "catalog/ApplicationIndex.h"

#include "catalog/BundleReader.h"
#include "catalog/DesktopEntryReader.h"
#include "catalog/DesktopFileScanner.h"
#include "catalog/OwnedHandles.h"
#include "text/LocaleCollator.h"
#include "text/UnicodeText.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

namespace kestrel {

namespace {

constexpr std::string_view bundleSuffix = ".app";
// The picture of an application that names none of its own; resolved through the icon theme.
constexpr const char* genericApplicationIcon = "application-x-executable";

} // namespace

ApplicationIndex::ApplicationIndex(CatalogLocations locations)
    : m_locations(std::move(locations))
    , m_bundleDirectories(m_locations.bundleDirectories())
{
}

void ApplicationIndex::loadApplications()
{
    m_loadStartedAt = std::chrono::system_clock::now();
    m_apps.clear();
    m_themeIcons.clear();
    for (const std::string& directory : m_bundleDirectories)
        scanDirectory(directory);
    scanDesktopEntries();
    sortByName();
    m_themeIcons.clear(); // the records keep the handles they use
}

void ApplicationIndex::scanDirectory(const std::string& path)
{
    const DirectoryHandle listing = openDirectory(path);
    if (!listing)
        return; // missing, not a directory, or not readable: contributes nothing
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string_view entryName = entry->d_name;
        if (!entryName.ends_with(bundleSuffix))
            continue;
        std::string fullPath = path + "/" + std::string(entryName);
        const std::string_view baseName = entryName.substr(0, entryName.size() - bundleSuffix.size());

        std::string name;
        std::optional<std::string> bundleIdentifier;
        IconRef icon;
        if (auto bundle = BundleReader::read(fullPath)) {
            bundleIdentifier = std::move(bundle->identifier);
            name = bundle->displayName ? std::move(*bundle->displayName) : text::toValidUtf8(baseName);
            if (bundle->iconPath)
                icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::imageFile, *bundle->iconPath});
        } else {
            name = text::toValidUtf8(baseName);
        }
        if (!icon)
            icon = sharedIcon(IconSource::Kind::themeIcon, genericApplicationIcon);

        m_apps.emplace_back(Uuid::random(), std::move(name), FileUrl::fromPath(std::move(fullPath)), std::move(icon),
                            std::move(bundleIdentifier), LauncherItemType::application, std::nullopt);
    }
}

void ApplicationIndex::scanDesktopEntries()
{
    DesktopEntryReader reader(DesktopEntryReader::currentDesktopsFromEnvironment());
    for (DesktopFile& file : DesktopFileScanner::scan(m_locations.xdgApplicationDirectories)) {
        auto entry = reader.readFile(file.path);
        if (!entry)
            continue;
        IconRef icon;
        if (entry->icon.empty())
            icon = sharedIcon(IconSource::Kind::themeIcon, genericApplicationIcon);
        else if (entry->icon.front() == '/')
            icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::imageFile, entry->icon});
        else
            icon = sharedIcon(IconSource::Kind::themeIcon, entry->icon);

        const std::string_view id =
            std::string_view(file.id).substr(0, file.id.size() - DesktopFileScanner::desktopSuffix.size());
        m_apps.emplace_back(Uuid::random(), std::move(entry->name), FileUrl::fromPath(std::move(file.path)),
                            std::move(icon), text::toValidUtf8(id), LauncherItemType::application, std::nullopt);
    }
}

void ApplicationIndex::sortByName()
{
    // why: one sort key per record instead of a collator call per comparison; keys compare bytewise in
    // exactly the collator's order, so equal keys mean names that compare the same.
    const text::LocaleCollator collator = text::LocaleCollator::forUser();
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(m_apps.size());
    for (std::size_t i = 0; i < m_apps.size(); ++i)
        keys.emplace_back(collator.sortKey(m_apps[i].name()), i);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<LauncherApp> sorted;
    sorted.reserve(m_apps.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(m_apps[key.second]));
    m_apps = std::move(sorted);
}

IconRef ApplicationIndex::sharedIcon(IconSource::Kind kind, const std::string& value)
{
    IconRef& slot = m_themeIcons[value];
    if (!slot)
        slot = std::make_shared<const IconSource>(IconSource{kind, value});
    return slot;
}

} // namespace kestrel
