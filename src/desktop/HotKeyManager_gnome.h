#pragma once

#include "desktop/HotKeyBackend.h"

#include <string>
#include <string_view>
#include <vector>

// GIO's types, declared here so that this header pulls no GLib into Qt code.
struct _GSettingsBackend;
struct _GSettingsSchemaSource;

namespace kestrel {

/// The GNOME backend of the hot key, for GNOME on Wayland without the GlobalShortcuts portal (GNOME 43 to 47):
/// a GNOME custom keybinding (GSettings, `org.gnome.settings-daemon.plugins.media-keys`), named
/// `bindingName`, on the key table's hot key, that runs the toggle command. gsd-media-keys runs it from any
/// focus; each run toggles the launcher through its single-instance socket (or starts it, shown), so this
/// backend never reports `pressed`.
///
/// At start it reads the user's keybindings and, by `decide`:
/// - when a custom keybinding already runs the launcher, whatever its key (the user's own, or the one an
///   earlier start wrote), writes nothing and gives the key;
/// - when another GNOME binding, custom or built in, holds the hot key, writes nothing and fails with a
///   reason that names it and says where to bind another key;
/// - otherwise writes one custom keybinding at `bindingPath` (or the next free `kestrelpointN/` when the
///   user's own list already names that path) and appends it to the list, and gives the key.
/// Nothing else in the user's settings is written. It fails too when GNOME's keybinding schemas are not
/// installed, when GSettings keeps nothing (no dconf: its memory backend), or when the list is locked.
/// Synchronous; main thread only.
class GnomeBindingHotKey : public HotKeyBackend {
public:
    static constexpr const char* mediaKeysSchema = "org.gnome.settings-daemon.plugins.media-keys";
    static constexpr const char* customSchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
    static constexpr const char* customRoot = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
    static constexpr const char* bindingPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
                                               "kestrelpoint/";
    static constexpr const char* bindingName = "Kestrelpoint";
    /// The program name by which a command is taken to run the launcher.
    static constexpr const char* launcherProgram = "kestrelpoint";
    /// Where GNOME Settings lets the user bind a command to a key, for the stderr line.
    static constexpr const char* settingsPlace =
        "GNOME Settings → Keyboard → View and Customize Shortcuts → Custom Shortcuts";

    /// A custom keybinding as stored: its path in the list and its three keys.
    struct CustomBinding {
        std::string path;
        std::string name;
        std::string binding;
        std::string command;
    };
    /// An accelerator of one of GNOME's own keybinding settings, with the setting's title.
    struct BuiltInBinding {
        std::string title;
        std::string accelerator;
    };
    /// What to do with the user's keybindings.
    struct Decision {
        enum class Action { add, keep, taken };
        Action action = Action::keep;
        /// `add`: the path of the new keybinding.
        std::string path;
        /// `taken`: the name of the binding that holds the key, as GNOME Settings shows it.
        std::string holder;
        bool operator==(const Decision&) const = default;
    };

    /// `keep` when a custom keybinding runs the launcher; else `taken` when a custom or built-in binding
    /// holds `accelerator` (compared canonically; customs first); else `add` at the first of `bindingPath`,
    /// `...kestrelpoint1/`, `...kestrelpoint2/`... that no custom keybinding uses.
    static Decision decide(const std::vector<CustomBinding>& custom, const std::vector<BuiltInBinding>& builtIn,
                           std::string_view accelerator);

    /// An accelerator in GTK's syntax ("<Primary><Shift>a") reduced to one spelling per key: modifier aliases
    /// merged (<Primary>, <Control>, <Ctrl>, <Ctl> are one; <Alt> is <Mod1>; <Super> is <Mod4>), modifiers
    /// sorted, every name in lower case ("control+shift+a"). "" when it names no key (empty: disabled).
    static std::string canonicalAccelerator(std::string_view accelerator);

    /// Whether `command` (a custom keybinding's command line, split as the shell splits it) runs the program
    /// `launcherProgram`, by any path, with any arguments.
    static bool runsLauncher(std::string_view command);

    /// The command line that runs `program` (an absolute path): the path itself, quoted for the shell only
    /// when it holds a character the shell would split or expand.
    static std::string commandLineFor(const std::string& program);

    /// `toggleCommand` is the absolute path of the entry program. `backend` and `schemas` say where the
    /// settings are kept and described (nullptr: GSettings' defaults); this object keeps a reference to each.
    explicit GnomeBindingHotKey(std::string toggleCommand, _GSettingsBackend* backend = nullptr,
                                _GSettingsSchemaSource* schemas = nullptr);
    ~GnomeBindingHotKey() override;
    GnomeBindingHotKey(const GnomeBindingHotKey&) = delete;
    GnomeBindingHotKey& operator=(const GnomeBindingHotKey&) = delete;

    /// Reads the keybindings, decides, writes when adding (and waits until the settings are written), and
    /// reports `failed` before returning when GNOME gives no key this way. Leaves the binding in place when
    /// destroyed: it outlives the launcher and starts it.
    void start(Events events) override;

private:
    std::string m_toggleCommand;
    _GSettingsBackend* m_backend = nullptr;
    _GSettingsSchemaSource* m_schemas = nullptr;
};

} // namespace kestrel
