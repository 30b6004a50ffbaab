#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

/// What the user's action that shows the window tells the window system, so that the window gets the
/// focus even though another application has it.
struct Activation {
    /// X server time (milliseconds, wrapping) of the action: the hot key press, or the time in the startup
    /// id of a second start; 0 (X's CurrentTime) when unknown.
    std::uint32_t userTime = 0;
    /// The startup-notification id that the session gave a second start ("" when none); its startup
    /// sequence is complete once the window shows (or, when the action hides it, at once).
    std::string startupId;
    /// The xdg-activation token that the session gave a second start ("" when none); only a native
    /// Wayland surface can present it.
    std::string activationToken;
};

} // namespace kestrel
