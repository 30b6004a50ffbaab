#pragma once

#include <string>

namespace kestrel {

/// The system clipboard.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    /// Empties the clipboard of every previous item and type.
    virtual void clearContents() = 0;
    /// Puts `text` (UTF-8) on the clipboard as plain text.
    virtual void setString(const std::string& text) = 0;
};

} // namespace kestrel
