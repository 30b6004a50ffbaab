#pragma once

#include "catalog/LauncherApp.h"

#include <QFont>
#include <QFontMetrics>
#include <QRawFont>
#include <QRect>
#include <QStyledItemDelegate>

#include <bitset>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrel {

class IconProvider;

/// Draws one row of the result list from a `ResultListModel`: the picture (the application's icon, a gray
/// placeholder when it has none, or the function symbol for the calculator row), the name, which wraps onto
/// as many lines as it needs, and below it the application's path (one line, shortened in the middle) or,
/// for the calculator row, the hint to press Enter. The selected row gets a gray background inset 8 from
/// both sides of the list; nothing else changes with the selection. Main thread only.
class AppRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    /// Where the parts of a row go, in the coordinates of the list's viewport (device-independent pixels).
    struct Geometry {
        /// The selected row's background: the whole row height, inset `outerInset` left and right.
        QRect highlight;
        /// The 32 x 32 picture area.
        QRect picture;
        /// The wrapped name.
        QRect title;
        /// The subtitle line; empty when the row has no subtitle.
        QRect subtitle;
        /// The row's full height.
        int height = 0;
    };

    static constexpr int outerInset = 8;
    static constexpr int innerHorizontal = 20;
    static constexpr int innerVertical = 8;
    static constexpr int pictureSize = 32;
    static constexpr int pictureSpacing = 12;
    static constexpr int lineSpacing = 2;
    static constexpr int titleSize = 16;
    static constexpr int placeholderRadius = 6;

    /// `icons` must outlive the delegate.
    explicit AppRow(IconProvider& icons, QObject* parent = nullptr);

    /// Lays out the row for `app` whose top-left corner is `origin`, `width` wide.
    static Geometry layout(const LauncherApp& app, QPoint origin, int width);

    /// The subtitle's full text: the hint for a calculator row, the path for an application with a URL,
    /// empty otherwise.
    static QString subtitleText(const LauncherApp& app);
    /// The subtitle as drawn in `width` pixels: the path shortened in the middle when it does not fit.
    static QString displayedSubtitle(const LauncherApp& app, int width);

    static QFont titleFont();
    static QFont subtitleFont();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    /// The row's size at the current width of the list's viewport (the name may wrap, so the height depends
    /// on the width).
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// `layout(app, origin, width).height`, remembered per record (by id, which never changes its name): a
    /// name drawn in the title font alone that fits on one line is measured once for every width, any
    /// other name once per width.
    int rowHeight(const LauncherApp& app, int width) const;
    /// Whether every row of `apps` is as high as the others at `width` (true for no rows): then a list can
    /// take one row's height for all without measuring each.
    bool uniformHeights(const std::vector<LauncherApp>& apps, int width) const;
    /// Measures ahead the names of `apps` that are not yet remembered, so that a later layout finds them;
    /// forgets first what it remembers when that is much more than `apps` (an older catalogue).
    void measureTitles(const std::vector<LauncherApp>& apps) const;

private:
    /// What is remembered of one name.
    struct TitleMetrics {
        /// The name's advance in the title font, or -1 when some character is not in its primary face.
        int advance = -1;
        /// The row height last computed by a full layout, and the width it was computed for.
        int layoutWidth = -1;
        int layoutHeight = 0;
    };

    void paintPicture(QPainter& painter, const LauncherApp& app, const QRect& area, const QPalette& palette) const;
    struct IdHash {
        std::size_t operator()(const Uuid& id) const noexcept;
    };

    TitleMetrics& metricsFor(const LauncherApp& app) const;

    IconProvider& m_icons;
    /// Keyed by record id; calculator rows, made anew for every keystroke, are never remembered.
    mutable std::unordered_map<Uuid, TitleMetrics, IdHash> m_titles;
    /// The title font's metrics and primary face, and which printable ASCII characters that face has,
    /// loaded when first needed.
    mutable std::optional<QFontMetrics> m_titleFontMetrics;
    mutable QRawFont m_titleFace;
    mutable std::bitset<128> m_asciiInFace;
    /// The height of a one-line row with and without a subtitle (0 until first needed).
    mutable int m_oneLineHeight[2] = {0, 0};
};

} // namespace kestrel
