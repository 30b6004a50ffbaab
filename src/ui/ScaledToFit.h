#pragma once

#include <QRectF>
#include <QSizeF>

class QPainter;
class QPixmap;

namespace kestrel {

/// Fitting a picture into an area with its aspect ratio kept, centred, as the views draw icons, symbols and
/// artwork.
class ScaledToFit {
public:
    /// The largest rectangle of `content`'s aspect ratio inside `area`, centred in it; empty when either is.
    static QRectF rect(const QSizeF& content, const QRectF& area);
    /// Draws `image` (sized in device-independent pixels) fitted into `area`.
    static void draw(QPainter& painter, const QRectF& area, const QPixmap& image);
};

} // namespace kestrel
