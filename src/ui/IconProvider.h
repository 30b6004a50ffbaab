#pragma once

#include "catalog/IconRef.h"

#include <QIcon>

#include <string>
#include <unordered_map>

namespace kestrel {

/// Turns the icon sources recorded by the catalogue into drawable icons. A source is resolved when a row
/// first asks for it (never during the scan) and the outcome, found or not, is kept for the life of the
/// provider, so each theme lookup or file probe happens once. Main thread only.
class IconProvider {
public:
    /// Makes sure theme lookups fall back to the "hicolor" theme when the desktop names none, and that the
    /// XDG icon folders (`<data dir>/icons`) are on Qt's theme search path (process-wide settings).
    IconProvider();

    /// The icon for `source`; a null icon when there is nothing to draw: no source, an icon name that no
    /// installed theme (nor a pixmaps directory) provides, an image file that cannot be decoded, or a
    /// symbol (rows that carry one draw their own).
    QIcon icon(const IconRef& source);

private:
    static QIcon resolve(const IconSource& source);
    static QIcon themeIcon(const QString& name);
    static QIcon imageFile(const QString& path);

    std::unordered_map<std::string, QIcon> m_cache;
};

} // namespace kestrel
