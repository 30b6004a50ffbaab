#pragma once

namespace kestrel {

/// Makes this application the active one, even though another application was active.
class ApplicationActivator {
public:
    virtual ~ApplicationActivator() = default;
    virtual void activateIgnoringOtherApps() = 0;
};

} // namespace kestrel
