#include "ui/ViewStyle.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace kestrel {

QColor ViewStyle::primary(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Text);
}

QColor ViewStyle::secondary(const QPalette& palette)
{
    QColor color = primary(palette);
    color.setAlphaF(0.5F);
    return color;
}

QColor ViewStyle::gray(double opacity)
{
    QColor color(142, 142, 147);
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QColor ViewStyle::accent(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor ViewStyle::separator(const QPalette& palette)
{
    QColor color = primary(palette);
    color.setAlphaF(0.15F);
    return color;
}

QFont ViewStyle::font(int pixelSize, QFont::Weight weight)
{
    QFont result = QGuiApplication::font();
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

QFont ViewStyle::monospacedFont(int pixelSize)
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setPixelSize(pixelSize);
    return result;
}

} // namespace kestrel
