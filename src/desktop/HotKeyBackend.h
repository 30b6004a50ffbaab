#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrel {

/// One way of getting the launcher's system-wide hot key from the desktop (the portal, a desktop's own
/// keybinding, the X11 grab). `HotKeyManager` runs one at a time, in its order, and moves on to the next
/// when one reports that it gives no key. Main thread only.
class HotKeyBackend {
public:
    struct Events {
        /// One physical press of the hot key, with its X server time (0 when the backend has none).
        std::function<void(std::uint32_t xTime)> pressed;
        /// The backend gives no key, now or no longer. Called at most once, possibly before `start`
        /// returns or from inside one of the backend's own slots: the manager releases the backend later.
        /// `reason` is lower case without a final period, in the words of the launcher's stderr line.
        std::function<void(const std::string& reason)> failed;
    };

    virtual ~HotKeyBackend() = default;

    /// Starts getting the key. The backend releases whatever it holds when it is destroyed.
    virtual void start(Events events) = 0;
};

} // namespace kestrel
