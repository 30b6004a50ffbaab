#pragma once

#include <cstdint>

namespace kestrel {

/// One key the launcher answers to, in every form a part of the launcher names it in.
struct LauncherKey {
    /// The X keysym (layout-independent meaning of the key: XK_space, XK_Return, ...).
    std::uint32_t keysym;
    /// The X modifier mask that must be held with it (ControlMask for the hot key, 0 for the window keys).
    std::uint16_t modifiers;
    /// How messages on stderr name the key.
    const char* name;
    /// The label of the key in the settings sheet's key guide.
    const char* guideLabel;
};

/// The system-wide hot key, which adds the forms the desktops' shortcut services take.
struct HotKeyDefinition : LauncherKey {
    /// The preferred trigger handed to the GlobalShortcuts portal (the portal's shortcut syntax, as in "CTRL+space").
    const char* portalTrigger;
    /// The accelerator GNOME's keybinding settings store (GTK's accelerator syntax).
    const char* gnomeAccelerator;
};

/// The launcher's keys: the one table that the X11 grab, the portal, the GNOME binding, the window's key
/// monitor and the key guide read.
namespace launcherKeys {

inline constexpr std::uint16_t xControlMask = 1u << 2;

/// Shows or hides the launcher from anywhere.
inline constexpr HotKeyDefinition hotKey{
    {0x0020, xControlMask, "Ctrl+Space", "Ctrl + Space"}, "CTRL+space", "<Control>space"};
/// The four keys the search window acts on (the main block's, not the keypad's).
inline constexpr LauncherKey activate{0xff0d, 0, "Return", "Enter"};
inline constexpr LauncherKey hide{0xff1b, 0, "Escape", "Esc"};
inline constexpr LauncherKey moveUp{0xff52, 0, "Up", "↑"};
inline constexpr LauncherKey moveDown{0xff54, 0, "Down", "↓"};

} // namespace launcherKeys

} // namespace kestrel
