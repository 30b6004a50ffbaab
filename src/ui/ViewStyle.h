#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace kestrel {

/// The named colours and text styles of the views. Colours come from the widget palette, so the views follow
/// a light or dark desktop theme; font sizes are in device-independent pixels. Main thread only.
class ViewStyle {
public:
    /// Labels and titles: the palette's text colour.
    static QColor primary(const QPalette& palette);
    /// Hints, captions and the header symbols: the text colour at half strength.
    static QColor secondary(const QPalette& palette);
    /// A neutral mid gray, the same in light and dark themes, at `opacity` (0 to 1).
    static QColor gray(double opacity = 1.0);
    /// The palette's highlight colour, which desktops use as their accent.
    static QColor accent(const QPalette& palette);
    /// Thin separator lines.
    static QColor separator(const QPalette& palette);

    /// The application's font family at `pixelSize` and `weight`.
    static QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
    /// The monospaced family at `pixelSize`.
    static QFont monospacedFont(int pixelSize);

    static constexpr int bodySize = 13;
    static constexpr int captionSize = 11;
    static constexpr int titleSize = 22;
};

} // namespace kestrel
