#include "catalog/CatalogLocations.h"

#include "text/Environment.h"

#include <algorithm>
#include <string_view>

namespace kestrel {

namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// Appends `dataDirectory` + "/applications" when the directory is absolute and not listed yet.
void addDataDirectory(std::vector<std::string>& out, std::string_view dataDirectory)
{
    if (dataDirectory.empty() || dataDirectory.front() != '/')
        return; // the base-directory rules say relative entries are invalid and must be ignored
    std::string applications = withoutTrailingSlashes(std::string(dataDirectory)) + "/applications";
    if (std::find(out.begin(), out.end(), applications) == out.end())
        out.push_back(std::move(applications));
}

} // namespace

std::vector<std::string> CatalogLocations::bundleDirectories() const
{
    const std::string root = withoutTrailingSlashes(bundleRoot);
    return {
        root + "/Applications",
        root + "/System/Applications",
        root + "/System/Applications/Utilities",
        root + "/System/Library/CoreServices",
    };
}

CatalogLocations CatalogLocations::defaults()
{
    CatalogLocations locations;

    std::string dataHome = text::environmentVariable("XDG_DATA_HOME").value_or("");
    if (dataHome.empty() || dataHome.front() != '/') {
        const std::string home = text::environmentVariable("HOME").value_or("");
        dataHome = home.empty() || home.front() != '/' ? std::string() : withoutTrailingSlashes(home) + "/.local/share";
    }
    addDataDirectory(locations.xdgApplicationDirectories, dataHome);

    std::string dataDirs = text::environmentVariable("XDG_DATA_DIRS").value_or("");
    if (dataDirs.empty())
        dataDirs = "/usr/local/share:/usr/share";
    for (const std::string_view dataDirectory : text::splitPathList(dataDirs))
        addDataDirectory(locations.xdgApplicationDirectories, dataDirectory);
    return locations;
}

} // namespace kestrel
