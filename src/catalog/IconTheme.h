#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrel {

/// Finds the file for a freedesktop icon name by the icon-theme lookup of freedesktop.org: the chosen
/// theme, then the themes it inherits, then "hicolor", each by the directories of its index.theme (an
/// exact size match first, else the closest size), then the fallback directories (`pixmaps`). Only
/// existing regular files are answered. Theme descriptions are read once and kept. No Qt; not
/// thread-safe: one thread at a time.
class IconTheme {
public:
    /// `baseFolders`: where themes live (`~/.icons`, `<data dir>/icons`), in precedence order. `theme`:
    /// the desktop's theme name, empty or "hicolor" for none. `fallbackFolders`: directories of loose
    /// pictures (`<data dir>/pixmaps`).
    IconTheme(std::vector<std::string> baseFolders, std::string theme, std::vector<std::string> fallbackFolders);

    /// The path of the PNG, SVG or XPM file for `name` at `size` pixels; empty when no theme nor fallback
    /// folder has it. A name written with one of those extensions ("foo.png") is looked up without it.
    /// Names that are paths, or empty, find nothing.
    std::string find(const std::string& name, int size);

private:
    enum class Type { fixed, scalable, threshold };
    struct Directory {
        std::string path;
        Type type = Type::threshold;
        int size = 0;
        int minSize = 0;
        int maxSize = 0;
        int threshold = 2;
        int scale = 1;
    };
    struct Theme {
        std::vector<std::string> roots; ///< `<base folder>/<theme>` that exist
        std::vector<Directory> directories;
        std::vector<std::string> parents;
    };

    const Theme* theme(const std::string& name);
    std::optional<Theme> load(const std::string& name) const;
    std::string findIn(const std::string& themeName, const std::string& name, int size, std::vector<std::string>& seen);
    static std::string lookup(const Theme& theme, const std::string& name, int size);
    static bool matchesSize(const Directory& directory, int size);
    static int sizeDistance(const Directory& directory, int size);

    std::vector<std::string> m_baseFolders;
    std::string m_theme;
    std::vector<std::string> m_fallbackFolders;
    std::unordered_map<std::string, std::optional<Theme>> m_themes;
};

} // namespace kestrel
