#pragma once

#include <string>
#include <vector>

namespace kestrel {

/// Where the application index looks. Production uses `defaults()`; tests and the query tool point
/// `bundleRoot` and the XDG directories at fixture trees.
struct CatalogLocations {
    /// Prefix put in front of each of the four fixed bundle directories ("" = the file-system root).
    std::string bundleRoot;
    /// Directories holding desktop entries, highest precedence first (each already ends in "/applications").
    std::vector<std::string> xdgApplicationDirectories;

    /// The four fixed bundle directories under `bundleRoot`, in scan order:
    /// /Applications, /System/Applications, /System/Applications/Utilities, /System/Library/CoreServices.
    std::vector<std::string> bundleDirectories() const;

    /// No bundle root; `$XDG_DATA_HOME/applications` (default `$HOME/.local/share`), then each entry of
    /// `$XDG_DATA_DIRS` (default `/usr/local/share:/usr/share`) with "/applications" appended, per the XDG
    /// base-directory rules (relative entries are ignored, duplicates keep their first place).
    static CatalogLocations defaults();
};

} // namespace kestrel
