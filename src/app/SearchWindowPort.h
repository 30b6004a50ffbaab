#pragma once

#include "app/Activation.h"

namespace kestrel {

/// The search window as the controller drives it. Created once, on the first show, and kept.
class SearchWindowPort {
public:
    virtual ~SearchWindowPort() = default;
    /// Places the window in the middle of the screen (the screen under the pointer).
    virtual void center() = 0;
    /// Shows the window in front of others and gives it the keyboard focus, presenting `activation` (the
    /// user's action that asks for it) to the window system.
    virtual void makeKeyAndOrderFront(const Activation& activation) = 0;
    /// Takes the window off the screen; it keeps its contents and can be shown again.
    virtual void orderOut() = 0;
};

} // namespace kestrel
