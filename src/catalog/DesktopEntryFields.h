#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

/// The keys of a desktop file that decide whether and how it is listed, as GLib's GKeyFile reads them
/// from the "Desktop Entry" group: string values only when they are valid UTF-8, booleans true only for
/// "true" or "1", lists split at ';'. `name` and `icon` are the localized values: the first
/// "Key[language]" for the given language suffixes that holds valid UTF-8, else the plain key.
struct DesktopEntryFields {
    /// The first group of the file ("" when it has none).
    std::string startGroup;
    std::optional<std::string> type;
    std::optional<std::string> name;
    std::optional<std::string> icon;
    std::optional<std::string> tryExec;
    std::optional<std::string> exec;
    bool hidden = false;
    bool noDisplay = false;
    bool dbusActivatable = false;
    /// Absent when the key is absent (or not UTF-8); an empty list when its value is empty.
    std::optional<std::vector<std::string>> onlyShowIn;
    std::optional<std::vector<std::string>> notShowIn;

    friend bool operator==(const DesktopEntryFields&, const DesktopEntryFields&) = default;

    /// Reads the file with GKeyFile. Nothing when GKeyFile does not load it (syntax error, no group before
    /// the first key, ...). `localeSuffixes` are "[language]" strings, most preferred first.
    static std::optional<DesktopEntryFields> parseWithKeyFile(std::string_view bytes,
                                                              const std::vector<std::string>& localeSuffixes);

    /// Reads the plain syntax that nearly every desktop file uses (LF line ends; comments; "[Group]"
    /// headers; "Key=Value" and "Key[locale]=Value" lines without escapes, surrounding blanks, repeated
    /// keys or an Encoding key) about ten times faster than GKeyFile. Nothing when the bytes use anything beyond that
    /// syntax; whenever it gives a result, it is the one `parseWithKeyFile` gives.
    static std::optional<DesktopEntryFields> parsePlainSyntax(std::string_view bytes,
                                                              const std::vector<std::string>& localeSuffixes);

    /// `parsePlainSyntax`, falling back to `parseWithKeyFile`. Safe on any bytes.
    static std::optional<DesktopEntryFields> parse(std::string_view bytes,
                                                   const std::vector<std::string>& localeSuffixes);
};

} // namespace kestrel
