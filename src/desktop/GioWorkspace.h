#pragma once

#include "app/Workspace.h"

#include <string>
#include <vector>

namespace kestrel {

/// Opens applications through GIO. A desktop entry (a path ending in ".desktop") is launched as its
/// entry says (field codes, no shell, D-Bus activation, terminal); any other path is opened with the
/// default handler of its file URI. Launches are asynchronous: the call returns once the request is
/// made, and GIO finishes it from the GLib main context that Qt's event loop runs on Linux; programs
/// are started detached, so none is left behind as a zombie child. The launcher's own
/// process-specific environment variables are removed from the launched program's environment.
/// Failures are dropped. Main thread only.
class GioWorkspace : public Workspace {
public:
    void openApplication(const FileUrl& url) override;

    /// The variables removed from every launched program's environment: they describe this process's
    /// own start (startup notification, activation token), not the launched program's.
    static const std::vector<std::string>& launcherOnlyVariables();
};

} // namespace kestrel
