#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

/// One desktop file that provides a desktop-file ID.
struct DesktopFile {
    /// The desktop-file ID: the path below the applications directory with '/' replaced by '-'
    /// ("vendor/foo.desktop" is "vendor-foo.desktop"); raw file-name bytes.
    std::string id;
    /// The file's path: the applications directory, '/', the relative path (raw bytes).
    std::string path;
};

/// Finds the desktop files of the XDG applications directories and resolves their precedence.
class DesktopFileScanner {
public:
    /// Directories deeper than this below an applications directory are not entered.
    static constexpr std::size_t maxDepth = 16;
    /// The ending of every desktop file's name, and so of every desktop-file ID.
    static constexpr std::string_view desktopSuffix = ".desktop";

    /// Every file whose name ends in ".desktop" (not tested further) in `applicationDirectories`, highest
    /// precedence first, entering sub-directories (symbolic links followed, each directory entered once per
    /// applications directory, so link loops end). Each ID appears once: the first directory that provides
    /// it wins, and within one directory the first file found; a winner that turns out unreadable, hidden
    /// or broken still masks the ID. Order: directory precedence, then the listing order of the file
    /// system, depth first. Directories that cannot be listed contribute nothing; never throws for I/O.
    static std::vector<DesktopFile> scan(const std::vector<std::string>& applicationDirectories);
};

} // namespace kestrel
