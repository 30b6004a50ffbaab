#pragma once

#include "app/Pasteboard.h"
#include "desktop/DesktopSession.h"

#include <QObject>

#include <optional>
#include <string>

namespace kestrel {

/// The system clipboard through Qt: the CLIPBOARD selection on X11 (not the primary selection). The
/// contents stay available to other programs while this process runs.
///
/// On a Wayland session the same contents are also
/// offered to native Wayland clients through `wl-copy` (wl-clipboard), which keeps serving them after the
/// launcher hides or quits. why: the compositor's XWayland bridge may take an X client's CLIPBOARD only
/// while one of its windows has the focus (wlroots compositors such as sway do), and the launcher hides
/// its window right after copying. The changes of one event-loop turn reach `wl-copy` as one offer (a
/// clear followed by a text is one command, so they can never arrive out of order). A `wl-copy` that is
/// missing or fails prints one stderr line, once per process. Needs a QGuiApplication; main thread only.
class QtPasteboard : public Pasteboard {
public:
    explicit QtPasteboard(const DesktopSession& session);

    void clearContents() override;
    /// Replaces the clipboard with one plain-text item (text/plain, UTF-8).
    void setString(const std::string& text) override;

private:
    void scheduleWaylandOffer(std::optional<std::string> text);
    void offerToWayland();
    void warn(const std::string& problem);

    bool m_wayland = false;
    bool m_offerScheduled = false;
    /// What the next offer puts on the Wayland clipboard; no value clears it.
    std::optional<std::string> m_waylandText;
    /// Context of the scheduled offer and parent of the running `wl-copy` processes.
    QObject m_queue;
};

} // namespace kestrel
