#pragma once

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
class LauncherApp;
class RowContent;

/// Draws one row of a result list from what the model gives through the roles of `RowContent`: the picture (the
/// application's icon, a gray placeholder when it has none, or the function symbol for the calculator row), the name,
/// which wraps onto as many lines as it needs, and below it the application's path (one line, shortened in the middle)
/// or, for the calculator row, the hint to press Enter. The selected row gets a gray background inset 8 from both sides
/// of the list; nothing else changes with the selection. Main thread only.
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

    /// Lays out a row titled `title`, with a subtitle line or not, whose top-left corner is `origin`,
    /// `width` wide.
    static Geometry layout(const QString& title, bool hasSubtitle, QPoint origin, int width);

    /// The subtitle as drawn in a row `width` pixels wide: a path is shortened in the middle when it does
    /// not fit, the calculator row's hint is drawn whole.
    static QString displayedSubtitle(const RowContent& content, int width);

    static QFont titleFont();
    static QFont subtitleFont();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    /// The row's size at the current width of the list's viewport (the name may wrap, so the height depends
    /// on the width).
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// `layout(title, hasSubtitle, origin, width).height`, remembered per title: a title drawn in the title
    /// font alone that fits on one line is measured once for every width, any other title once per width.
    int rowHeight(const std::string& title, bool hasSubtitle, bool calculation, int width) const;
    /// Whether every row of `apps` is as high as the others at `width` (true for no rows): then a list can
    /// take one row's height for all without measuring each.
    bool uniformHeights(const std::vector<LauncherApp>& apps, int width) const;
    /// Measures ahead the names of `apps` that are not yet remembered, so that a later layout finds them;
    /// forgets first what it remembers when that is much more than `apps` (an older catalogue).
    void measureTitles(const std::vector<LauncherApp>& apps) const;

private:
    /// What is remembered of one title.
    struct TitleMetrics {
        /// The title's advance in the title font, or -1 when some character is not in its primary face.
        int advance = -1;
        /// The row height last computed by a full layout, and the width and subtitle it was computed for.
        int layoutWidth = -1;
        bool layoutHasSubtitle = false;
        int layoutHeight = 0;
    };

    void paintPicture(QPainter& painter, const RowContent& content, const QRect& area, const QPalette& palette) const;
    TitleMetrics& metricsFor(const std::string& title) const;

    IconProvider& m_icons;
    /// Keyed by title; calculator rows, made anew for every keystroke, are never remembered.
    mutable std::unordered_map<std::string, TitleMetrics> m_titles;
    /// The title font's metrics and primary face, and which printable ASCII characters that face has,
    /// loaded when first needed.
    mutable std::optional<QFontMetrics> m_titleFontMetrics;
    mutable QRawFont m_titleFace;
    mutable std::bitset<128> m_asciiInFace;
    /// The height of a one-line row with and without a subtitle (0 until first needed).
    mutable int m_oneLineHeight[2] = {0, 0};
};

} // namespace kestrel
