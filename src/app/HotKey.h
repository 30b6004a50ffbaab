#pragma once

#include <functional>

namespace kestrel {

/// The system-wide hot key as the controller sees it. Implementations release the key on destruction.
class HotKey {
public:
    virtual ~HotKey() = default;
    /// Stores `callback` (dropping an earlier one) and registers the key system-wide. The callback is then
    /// called on the main thread once per press. A failed registration leaves the key unregistered; the
    /// controller carries on without it.
    virtual void registerHotKey(std::function<void()> callback) = 0;
};

} // namespace kestrel
