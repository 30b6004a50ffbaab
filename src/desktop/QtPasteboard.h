#pragma once

#include "app/Pasteboard.h"

namespace kestrel {

/// The system clipboard through Qt: the CLIPBOARD selection on X11 (not the primary selection). The
/// contents stay available to other programs while this process runs. Needs a QGuiApplication; main
/// thread only.
class QtPasteboard : public Pasteboard {
public:
    void clearContents() override;
    /// Replaces the clipboard with one plain-text item (text/plain, UTF-8).
    void setString(const std::string& text) override;
};

} // namespace kestrel
