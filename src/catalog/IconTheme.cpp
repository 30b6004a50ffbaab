#include "catalog/IconTheme.h"

#include "catalog/SmallFileReader.h"

#include <glib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace kestrel {

namespace {

constexpr std::size_t maxIndexBytes = 1024 * 1024;
constexpr const char* extensions[] = {".png", ".svg", ".xpm"};
/// Inheritance deeper than this is a cycle or a mistake.
constexpr std::size_t maxThemeDepth = 16;

bool isRegularFile(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isDirectory(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};

int integer(GKeyFile* file, const char* group, const char* key, int fallback)
{
    GError* error = nullptr;
    const gint value = g_key_file_get_integer(file, group, key, &error);
    if (error != nullptr) {
        g_error_free(error);
        return fallback;
    }
    return value;
}

std::vector<std::string> list(GKeyFile* file, const char* key)
{
    std::vector<std::string> values;
    gsize count = 0;
    gchar** items = g_key_file_get_string_list(file, "Icon Theme", key, &count, nullptr);
    for (gsize i = 0; i < count; ++i) {
        if (items[i][0] != '\0')
            values.emplace_back(items[i]);
    }
    g_strfreev(items);
    return values;
}

/// `name` without a .png, .svg or .xpm extension.
std::string bareName(const std::string& name)
{
    for (const char* extension : extensions) {
        const std::string suffix(extension);
        if (name.size() > suffix.size()
            && g_ascii_strcasecmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0)
            return name.substr(0, name.size() - suffix.size());
    }
    return name;
}

} // namespace

IconTheme::IconTheme(std::vector<std::string> baseFolders, std::string theme, std::vector<std::string> fallbackFolders)
    : m_baseFolders(std::move(baseFolders))
    , m_theme(std::move(theme))
    , m_fallbackFolders(std::move(fallbackFolders))
{
}

std::string IconTheme::find(const std::string& name, int size)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    const std::string bare = bareName(name);
    std::vector<std::string> seen;
    if (!m_theme.empty() && m_theme != "hicolor") {
        if (std::string path = findIn(m_theme, bare, size, seen); !path.empty())
            return path;
    }
    if (std::string path = findIn("hicolor", bare, size, seen); !path.empty())
        return path;
    for (const std::string& folder : m_fallbackFolders) {
        for (const char* extension : extensions) {
            const std::string path = folder + "/" + bare + extension;
            if (isRegularFile(path))
                return path;
        }
    }
    return {};
}

std::string IconTheme::findIn(const std::string& themeName, const std::string& name, int size,
                              std::vector<std::string>& seen)
{
    if (seen.size() >= maxThemeDepth || std::find(seen.begin(), seen.end(), themeName) != seen.end())
        return {};
    seen.push_back(themeName);
    const Theme* found = theme(themeName);
    if (found == nullptr)
        return {};
    if (std::string path = lookup(*found, name, size); !path.empty())
        return path;
    for (const std::string& parent : found->parents) {
        if (std::string path = findIn(parent, name, size, seen); !path.empty())
            return path;
    }
    return {};
}

const IconTheme::Theme* IconTheme::theme(const std::string& name)
{
    auto found = m_themes.find(name);
    if (found == m_themes.end())
        found = m_themes.emplace(name, load(name)).first;
    return found->second ? &*found->second : nullptr;
}

std::optional<IconTheme::Theme> IconTheme::load(const std::string& name) const
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return std::nullopt;
    Theme theme;
    std::optional<std::string> index;
    for (const std::string& base : m_baseFolders) {
        const std::string root = base + "/" + name;
        if (!isDirectory(root))
            continue;
        theme.roots.push_back(root);
        if (!index)
            index = SmallFileReader::read(root + "/index.theme", maxIndexBytes);
    }
    if (!index)
        return std::nullopt;
    const std::unique_ptr<GKeyFile, KeyFileDeleter> file(g_key_file_new());
    // Theme descriptions separate list items with commas, not the key-file default.
    g_key_file_set_list_separator(file.get(), ',');
    if (!g_key_file_load_from_data(file.get(), index->data(), index->size(), G_KEY_FILE_NONE, nullptr)
        || !g_key_file_has_group(file.get(), "Icon Theme"))
        return std::nullopt;
    theme.parents = list(file.get(), "Inherits");
    std::vector<std::string> names = list(file.get(), "Directories");
    for (std::string& scaled : list(file.get(), "ScaledDirectories"))
        names.push_back(std::move(scaled));
    for (const std::string& directoryName : names) {
        const char* group = directoryName.c_str();
        if (!g_key_file_has_group(file.get(), group))
            continue;
        Directory directory;
        directory.path = directoryName;
        directory.size = integer(file.get(), group, "Size", 0);
        if (directory.size <= 0)
            continue;
        gchar* type = g_key_file_get_string(file.get(), group, "Type", nullptr);
        const std::string typeName = type != nullptr ? type : "Threshold";
        g_free(type);
        directory.type = typeName == "Fixed" ? Type::fixed : typeName == "Scalable" ? Type::scalable : Type::threshold;
        directory.minSize = integer(file.get(), group, "MinSize", directory.size);
        directory.maxSize = integer(file.get(), group, "MaxSize", directory.size);
        directory.threshold = integer(file.get(), group, "Threshold", 2);
        directory.scale = std::max(1, integer(file.get(), group, "Scale", 1));
        theme.directories.push_back(std::move(directory));
    }
    return theme;
}

std::string IconTheme::lookup(const Theme& theme, const std::string& name, int size)
{
    for (const Directory& directory : theme.directories) {
        if (!matchesSize(directory, size))
            continue;
        for (const std::string& root : theme.roots) {
            for (const char* extension : extensions) {
                const std::string path = root + "/" + directory.path + "/" + name + extension;
                if (isRegularFile(path))
                    return path;
            }
        }
    }
    std::string closest;
    int smallest = INT_MAX;
    for (const Directory& directory : theme.directories) {
        const int distance = sizeDistance(directory, size);
        if (distance >= smallest)
            continue;
        for (const std::string& root : theme.roots) {
            for (const char* extension : extensions) {
                const std::string path = root + "/" + directory.path + "/" + name + extension;
                if (isRegularFile(path)) {
                    closest = path;
                    smallest = distance;
                    break;
                }
            }
            if (smallest == distance)
                break;
        }
    }
    return closest;
}

bool IconTheme::matchesSize(const Directory& directory, int size)
{
    if (directory.scale != 1)
        return false;
    switch (directory.type) {
    case Type::fixed:
        return directory.size == size;
    case Type::scalable:
        return directory.minSize <= size && size <= directory.maxSize;
    case Type::threshold:
        return directory.size - directory.threshold <= size && size <= directory.size + directory.threshold;
    }
    return false;
}

int IconTheme::sizeDistance(const Directory& directory, int size)
{
    const int scale = directory.scale;
    switch (directory.type) {
    case Type::fixed:
        return std::abs(directory.size * scale - size);
    case Type::scalable:
        if (size < directory.minSize * scale)
            return directory.minSize * scale - size;
        if (size > directory.maxSize * scale)
            return size - directory.maxSize * scale;
        return 0;
    case Type::threshold:
        if (size < (directory.size - directory.threshold) * scale)
            return (directory.size - directory.threshold) * scale - size;
        if (size > (directory.size + directory.threshold) * scale)
            return size - (directory.size + directory.threshold) * scale;
        return 0;
    }
    return INT_MAX;
}

} // namespace kestrel
