#pragma once

#include "app/Activation.h"

#include <functional>

namespace kestrel {

/// The system-wide hot key as the controller sees it. Implementations release the key on destruction.
class HotKey {
public:
    virtual ~HotKey() = default;
    /// Stores `callback` (dropping an earlier one) and registers the key system-wide. The callback is then
    /// called on the main thread once per press, with the press's activation (its X server time when the
    /// platform reports one). A failed registration leaves the key unregistered; the controller carries on
    /// without it.
    virtual void registerHotKey(std::function<void(const Activation&)> callback) = 0;
};

} // namespace kestrel
