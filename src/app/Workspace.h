#pragma once

#include "catalog/FileUrl.h"

namespace kestrel {

/// Opens applications.
class Workspace {
public:
    virtual ~Workspace() = default;
    /// Asks the system to launch the application at `url` (a desktop entry or a bundle), or bring it to
    /// the front. Returns at once without waiting for the start; failures are dropped silently.
    virtual void openApplication(const FileUrl& url) = 0;
};

} // namespace kestrel
