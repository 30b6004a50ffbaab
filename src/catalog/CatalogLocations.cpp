#include "catalog/CatalogLocations.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace kestrel {

namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
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

    std::string dataHome = environment("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/') {
        const std::string home = environment("HOME");
        dataHome = home.empty() || home.front() != '/' ? std::string() : withoutTrailingSlashes(home) + "/.local/share";
    }
    addDataDirectory(locations.xdgApplicationDirectories, dataHome);

    std::string dataDirs = environment("XDG_DATA_DIRS");
    if (dataDirs.empty())
        dataDirs = "/usr/local/share:/usr/share";
    std::string_view rest = dataDirs;
    while (true) {
        const std::size_t colon = rest.find(':');
        addDataDirectory(locations.xdgApplicationDirectories, rest.substr(0, colon));
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return locations;
}

} // namespace kestrel
