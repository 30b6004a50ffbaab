#include "ui/AppRow.h"

#include "catalog/LauncherApp.h"
#include "ui/IconProvider.h"
#include "ui/RowContent.h"
#include "ui/ScaledToFit.h"
#include "ui/Symbols.h"
#include "ui/ViewStyle.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace kestrel {

namespace {

/// Breaks `layout` into lines of `width`, at word boundaries where possible and anywhere inside a word that
/// is wider than the line; returns the height of all lines.
int wrapTitle(QTextLayout& layout, int width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setFont(AppRow::titleFont());
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return static_cast<int>(std::ceil(y));
}

int textLeft()
{
    return AppRow::outerInset + AppRow::innerHorizontal + AppRow::pictureSize + AppRow::pictureSpacing;
}

int textWidth(int rowWidth)
{
    return std::max(1, rowWidth - textLeft() - AppRow::innerHorizontal - AppRow::outerInset);
}

} // namespace

AppRow::AppRow(IconProvider& icons, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_icons(icons)
{
}

QFont AppRow::titleFont()
{
    return ViewStyle::font(titleSize);
}

QFont AppRow::subtitleFont()
{
    return ViewStyle::font(ViewStyle::captionSize);
}

QString AppRow::displayedSubtitle(const RowContent& content, int width)
{
    if (content.calculation) {
        return content.subtitle;
    }
    return QFontMetrics(subtitleFont()).elidedText(content.subtitle, Qt::ElideMiddle, textWidth(width));
}

AppRow::Geometry AppRow::layout(const QString& titleText, bool hasSubtitle, QPoint origin, int width)
{
    const int available = textWidth(width);
    QTextLayout title(titleText);
    const int titleHeight = wrapTitle(title, available);
    const int subtitleHeight = hasSubtitle ? QFontMetrics(subtitleFont()).height() : 0;
    const int blockHeight = titleHeight + (hasSubtitle ? lineSpacing + subtitleHeight : 0);
    const int contentHeight = std::max(pictureSize, blockHeight);

    Geometry geometry;
    geometry.height = contentHeight + 2 * innerVertical;
    const int contentTop = origin.y() + innerVertical;
    geometry.highlight =
        QRect(origin.x() + outerInset, origin.y(), std::max(0, width - 2 * outerInset), geometry.height);
    geometry.picture = QRect(origin.x() + outerInset + innerHorizontal, contentTop + (contentHeight - pictureSize) / 2,
                             pictureSize, pictureSize);
    const int blockTop = contentTop + (contentHeight - blockHeight) / 2;
    geometry.title = QRect(origin.x() + textLeft(), blockTop, available, titleHeight);
    if (hasSubtitle) {
        geometry.subtitle =
            QRect(origin.x() + textLeft(), blockTop + titleHeight + lineSpacing, available, subtitleHeight);
    }
    return geometry;
}

void AppRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!index.isValid()) {
        return;
    }
    const RowContent content = RowContent::read(index);
    const Geometry geometry =
        layout(content.title, !content.subtitle.isEmpty(), option.rect.topLeft(), option.rect.width());
    const QPalette& palette = option.palette;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (content.selected) {
        painter->fillRect(geometry.highlight, ViewStyle::gray(0.3));
    }

    paintPicture(*painter, content, geometry.picture, palette);

    QTextLayout title(content.title);
    wrapTitle(title, geometry.title.width());
    painter->setPen(ViewStyle::primary(palette));
    title.draw(painter, geometry.title.topLeft());

    if (!geometry.subtitle.isEmpty()) {
        painter->setPen(content.calculation ? ViewStyle::secondary(palette) : ViewStyle::gray());
        painter->setFont(subtitleFont());
        painter->drawText(geometry.subtitle, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          displayedSubtitle(content, option.rect.width()));
    }
    painter->restore();
}

void AppRow::paintPicture(QPainter& painter, const RowContent& content, const QRect& area,
                          const QPalette& palette) const
{
    if (content.calculation) {
        Symbols::paint(painter, area, QStringLiteral("function"), ViewStyle::accent(palette));
        return;
    }
    const QIcon icon = m_icons.icon(content.icon);
    if (!icon.isNull()) {
        const qreal dpr = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
        const QPixmap image = icon.pixmap(area.size(), dpr);
        if (!image.isNull()) {
            ScaledToFit::draw(painter, area, image);
            return;
        }
    }
    QPainterPath placeholder;
    placeholder.addRoundedRect(QRectF(area), placeholderRadius, placeholderRadius);
    painter.fillPath(placeholder, ViewStyle::gray(0.3));
}

QSize AppRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    int width = option.rect.width();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
        width = view->viewport()->width();
    }
    if (width <= 0) {
        width = 600;
    }
    if (!index.isValid()) {
        return {width, pictureSize + 2 * innerVertical};
    }
    const bool hasSubtitle = !index.data(RowContent::subtitleRole).toString().isEmpty();
    const bool calculation = index.data(RowContent::calculationRole).toBool();
    return {width, rowHeight(index.data(Qt::DisplayRole).toString().toStdString(), hasSubtitle, calculation, width)};
}

AppRow::TitleMetrics& AppRow::metricsFor(const std::string& title) const
{
    auto found = m_titles.find(title);
    if (found != m_titles.end()) {
        return found->second;
    }
    TitleMetrics metrics;
    const QString text = QString::fromStdString(title);
    if (!m_titleFontMetrics) {
        m_titleFontMetrics.emplace(titleFont());
        m_titleFace = QRawFont::fromFont(titleFont());
        for (char16_t c = u' ' + 1; c < 0x7f; ++c) {
            m_asciiInFace[c] = m_titleFace.supportsCharacter(static_cast<uint>(c));
        }
    }
    // The title font's own face, without the fallbacks that a QFontMetrics would consult: a character
    // only a fallback face has can make the line taller.
    const QList<uint> characters = text.toUcs4();
    const bool titleFaceOnly = std::all_of(characters.begin(), characters.end(), [this](uint c) {
        if (c < 0x80) {
            return c == ' ' || m_asciiInFace[c];
        }
        return !QChar::isSpace(c) && QChar::isPrint(c) && m_titleFace.supportsCharacter(c);
    });
    if (titleFaceOnly) {
        metrics.advance = m_titleFontMetrics->horizontalAdvance(text);
    }
    return m_titles.emplace(title, metrics).first->second;
}

int AppRow::rowHeight(const std::string& title, bool hasSubtitle, bool calculation, int width) const
{
    if (calculation) {
        return layout(QString::fromStdString(title), hasSubtitle, QPoint(), width).height;
    }
    TitleMetrics& metrics = metricsFor(title);
    // A line of one font is as high as that font's line whatever its characters, so a title that fits
    // with a pixel to spare (the advance is rounded) gives the one-line height.
    if (metrics.advance >= 0 && metrics.advance + 1 < textWidth(width)) {
        int& height = m_oneLineHeight[hasSubtitle ? 1 : 0];
        if (height == 0) {
            height = layout(QStringLiteral("X"), hasSubtitle, QPoint(), width).height;
        }
        return height;
    }
    if (metrics.layoutWidth != width || metrics.layoutHasSubtitle != hasSubtitle) {
        metrics.layoutHeight = layout(QString::fromStdString(title), hasSubtitle, QPoint(), width).height;
        metrics.layoutWidth = width;
        metrics.layoutHasSubtitle = hasSubtitle;
    }
    return metrics.layoutHeight;
}

void AppRow::measureTitles(const std::vector<LauncherApp>& apps) const
{
    // A new catalogue brings new names; what was remembered of an old one is dropped at once.
    if (m_titles.size() > 2 * apps.size() + 1024) {
        m_titles.clear();
    }
    for (const LauncherApp& app : apps) {
        if (app.type() != LauncherItemType::calculation) {
            metricsFor(app.name());
        }
    }
}

bool AppRow::uniformHeights(const std::vector<LauncherApp>& apps, int width) const
{
    const auto height = [&](const LauncherApp& app) {
        const bool calculation = app.type() == LauncherItemType::calculation;
        return rowHeight(app.name(), calculation || app.url().has_value(), calculation, width);
    };
    if (apps.empty()) {
        return true;
    }
    const int first = height(apps.front());
    return std::all_of(apps.begin() + 1, apps.end(), [&](const LauncherApp& app) { return height(app) == first; });
}

} // namespace kestrel
