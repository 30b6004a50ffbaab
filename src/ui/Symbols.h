#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace kestrel {

/// The launcher's own monochrome symbols ("magnifyingglass", "gearshape.fill", "power", "function",
/// "app.badge"), bundled as SVG and drawn in any colour at any size and scale factor.
/// Main thread only.
class Symbols {
public:
    /// Makes the bundled resources available; called by every function here, and harmless to repeat.
    static void ensureResources();

    /// Whether a symbol of that name is bundled.
    static bool has(const QString& name);

    /// Draws the symbol scaled to fit `rect` (aspect ratio kept, centred), every painted pixel in `color`,
    /// sharp at the device pixel ratio of the painter's device. Draws nothing for an unknown name.
    static void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color);

    /// The symbol fitted into `size` logical pixels at `devicePixelRatio`, in `color`; a null pixmap for an
    /// unknown name. Results are cached.
    static QPixmap pixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio);

    /// An icon that draws the symbol in `color` (40 % strength when disabled) at whatever size it is asked
    /// for; a null icon for an unknown name.
    static QIcon icon(const QString& name, const QColor& color);

    /// An icon drawn from the SVG resource at `path` in its own colours; null when the resource is missing.
    static QIcon imageIcon(const QString& path);
};

} // namespace kestrel
