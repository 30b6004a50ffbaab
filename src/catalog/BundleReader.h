#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

/// What the catalogue takes from a bundle's information dictionary (Info.plist).
struct BundleInfo {
    /// "CFBundleIdentifier" when it is a string (as valid UTF-8).
    std::optional<std::string> identifier;
    /// "CFBundleDisplayName" when it is a string, the empty string included (as valid UTF-8).
    std::optional<std::string> displayName;
    /// "CFBundleIconFile" when it is a string, as written (raw bytes).
    std::optional<std::string> iconFile;
    /// Filled by `BundleReader::read` only: the absolute path of the bundle's icon file when the
    /// dictionary names one that exists as a regular file inside the bundle. The file is not opened.
    std::optional<std::string> iconPath;
};

/// Reads application bundles: "<bundle>/Contents/Info.plist", else a flat "<bundle>/Info.plist",
/// XML or binary, through libplist. Stateless; safe to call from any thread.
class BundleReader {
public:
    /// Information files larger than this count as unreadable.
    static constexpr std::size_t maxInfoPlistBytes = 8u * 1024u * 1024u;

    /// The bundle at `bundlePath`, or nothing when it cannot be opened as a bundle: no readable regular
    /// Info.plist of at most `maxInfoPlistBytes`, or one that does not parse. Never throws; never blocks
    /// on special files.
    static std::optional<BundleInfo> read(const std::string& bundlePath);

    /// Parses the bytes of an Info.plist (XML or binary; a leading UTF-8 byte-order mark is ignored).
    /// Nothing when they do not parse or their structure is too deep or too large to parse safely
    /// (see BundleReader.cpp); a root that is not a dictionary parses to an empty `BundleInfo`.
    /// Safe on any bytes.
    static std::optional<BundleInfo> parseInfoPlist(std::string_view bytes);
};

} // namespace kestrel
