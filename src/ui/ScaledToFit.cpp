#include "ui/ScaledToFit.h"

#include <QPainter>
#include <QPixmap>

namespace kestrel {

QRectF ScaledToFit::rect(const QSizeF& content, const QRectF& area)
{
    if (content.isEmpty() || area.isEmpty()) {
        return {};
    }
    const QSizeF fitted = content.scaled(area.size(), Qt::KeepAspectRatio);
    return {area.x() + (area.width() - fitted.width()) / 2.0, area.y() + (area.height() - fitted.height()) / 2.0,
            fitted.width(), fitted.height()};
}

void ScaledToFit::draw(QPainter& painter, const QRectF& area, const QPixmap& image)
{
    const QRectF target = rect(image.deviceIndependentSize(), area);
    if (!target.isEmpty()) {
        painter.drawPixmap(target, image, QRectF(image.rect()));
    }
}

} // namespace kestrel
