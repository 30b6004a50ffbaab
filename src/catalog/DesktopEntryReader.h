#pragma once

#include "catalog/ProgramFinder.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

/// What the catalogue takes from a desktop entry that the desktop would show.
struct DesktopEntry {
    /// The localized "Name" (for the user's LANGUAGE, LC_ALL, LC_MESSAGES, LANG), valid UTF-8, never empty.
    std::string name;
    /// The localized "Icon" as GIO reads it: an absolute image path, or an icon-theme name without a
    /// ".png", ".xpm" or ".svg" suffix; empty when the entry names none.
    std::string icon;
};

/// Decides, with GIO's rules, whether a desktop entry is shown in an application list, and reads its
/// name and icon. Keys are read as GLib's GKeyFile reads them (DesktopEntryFields); the rules are those of
/// GDesktopAppInfo and g_app_info_should_show():
/// - the first group is "Desktop Entry" and Type is "Application";
/// - a non-empty TryExec names a program found on PATH (or an executable path);
/// - a non-empty Exec parses as a command line whose program is found the same way;
/// - Hidden and NoDisplay are not true;
/// - OnlyShowIn/NotShowIn admit the current desktops (the first current desktop listed in either key
///   decides; otherwise the entry is shown exactly when it has no OnlyShowIn key).
/// In addition an entry needs a non-empty Name, and an Exec unless it is DBusActivatable.
///
/// One reader serves one scan: it reads PATH and the programs in it once, so changes made during its life
/// are not seen. Not thread-safe.
class DesktopEntryReader {
public:
    /// Files larger than this count as unreadable.
    static constexpr std::size_t maxDesktopFileBytes = 4u * 1024u * 1024u;

    /// A reader for the given current desktops (as in XDG_CURRENT_DESKTOP, in order). The languages for
    /// translated keys are read now (LANGUAGE, LC_ALL, LC_MESSAGES, LANG, as GLib reads them).
    explicit DesktopEntryReader(std::vector<std::string> currentDesktops);

    /// XDG_CURRENT_DESKTOP split at ':' (empty names dropped); empty when unset.
    static std::vector<std::string> currentDesktopsFromEnvironment();

    /// The entry in the file at `path`, or nothing when it cannot be read, does not parse or is not shown.
    /// Never blocks on special files; never throws.
    std::optional<DesktopEntry> readFile(const std::string& path);

    /// The same for the bytes of a desktop file. Safe on any bytes.
    std::optional<DesktopEntry> parse(std::string_view bytes);

private:
    bool isShownIn(const std::optional<std::vector<std::string>>& onlyShowIn,
                   const std::optional<std::vector<std::string>>& notShowIn) const;

    std::vector<std::string> m_currentDesktops;
    std::vector<std::string> m_localeSuffixes; // "[de_DE]", "[de]", ... in GLib's order of preference
    ProgramFinder m_programs;
};

} // namespace kestrel
