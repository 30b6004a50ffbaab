#include "ui/ResultListView.h"

#include "ui/RowContent.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kestrel {

ResultListView::ResultListView(QWidget* parent)
    : QListView(parent)
{
    // Both directions scroll by pixels: QListView's per-item scrolling reads its own layout, which the
    // arithmetic layout leaves empty.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void ResultListView::doItemsLayout()
{
    // why: a view not yet shown has not received its size, so the rows would be measured at a width
    // they are never shown at, and every name would seem to wrap. It is laid out again when shown.
    m_layoutPending = !isVisible();
    m_heights = m_heightsProvider ? m_heightsProvider(viewport()->width()) : std::nullopt;
    if (!m_heights && m_layoutPending) {
        // The cheap layout of one height for all keeps QListView's bookkeeping in step with the rows.
        setUniformItemSizes(true);
        QListView::doItemsLayout();
        return;
    }
    if (!m_heights) {
        setUniformItemSizes(false);
        QListView::doItemsLayout();
        return;
    }
    // why: QListView's own layout visits every row (a model index, a hidden-row lookup and a position
    // each), also when told that all rows are as high; with thousands of rows that is most of the cost
    // of a change of the list. The base item view's layout only updates the scroll range and repaints.
    const State previous = state();
    // Showing or hiding the scroll bar resizes the viewport; this state keeps that from laying out again
    // inside this layout (as QListView does).
    setState(ExpandingState);
    QAbstractItemView::doItemsLayout();
    setState(previous);
}

int ResultListView::rowHeight(int row) const
{
    return row == 0 ? m_heights->first : m_heights->others;
}

int ResultListView::rowTop(int row) const
{
    return row == 0 ? 0 : m_heights->first + (row - 1) * m_heights->others;
}

int ResultListView::rowAtContentY(int y) const
{
    const int count = model() ? model()->rowCount(rootIndex()) : 0;
    if (count == 0 || y < m_heights->first || m_heights->others <= 0) {
        return 0;
    }
    return std::min(count - 1, 1 + (y - m_heights->first) / m_heights->others);
}

int ResultListView::contentHeight() const
{
    const int count = model() ? model()->rowCount(rootIndex()) : 0;
    return count == 0 ? 0 : rowTop(count - 1) + rowHeight(count - 1);
}

QRect ResultListView::visualRect(const QModelIndex& index) const
{
    // The layout a pending change asked for comes first, as QListView's own answers do.
    const_cast<ResultListView*>(this)->executeDelayedItemsLayout();
    if (!m_heights) {
        return QListView::visualRect(index);
    }
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() || index.column() != 0) {
        return {};
    }
    return {0, rowTop(index.row()) - verticalOffset(), viewport()->width(), rowHeight(index.row())};
}

QModelIndex ResultListView::indexAt(const QPoint& point) const
{
    const_cast<ResultListView*>(this)->executeDelayedItemsLayout();
    if (!m_heights) {
        return QListView::indexAt(point);
    }
    const int y = point.y() + verticalOffset();
    if (!model() || point.x() < 0 || point.x() >= viewport()->width() || y < 0 || y >= contentHeight()) {
        return {};
    }
    return model()->index(rowAtContentY(y), 0, rootIndex());
}

void ResultListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    executeDelayedItemsLayout();
    if (!m_heights) {
        QListView::scrollTo(index, hint);
        return;
    }
    const QRect rect = visualRect(index);
    if (!rect.isValid()) {
        return;
    }
    const int height = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    const int top = bar->value() + rect.top();
    switch (hint) {
    case PositionAtTop:
        bar->setValue(top);
        break;
    case PositionAtBottom:
        // A row taller than the viewport shows its top.
        bar->setValue(bar->value() + std::min(rect.top(), rect.bottom() - height + 1));
        break;
    case PositionAtCenter:
        bar->setValue(top - (height - rect.height()) / 2);
        break;
    case EnsureVisible:
        // A row taller than the viewport shows its top.
        if (rect.top() < 0 || rect.height() > height) {
            bar->setValue(top);
        } else if (rect.bottom() >= height) {
            bar->setValue(top + rect.height() - height);
        }
        break;
    }
}

void ResultListView::updateGeometries()
{
    if (!m_heights) {
        QListView::updateGeometries();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(std::max(1, m_heights->others));
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, contentHeight() - viewport()->height()));
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

void ResultListView::paintEvent(QPaintEvent* event)
{
    if (!m_heights) {
        QListView::paintEvent(event);
        return;
    }
    const int count = model() ? model()->rowCount(rootIndex()) : 0;
    if (count == 0) {
        return;
    }
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect area = event->rect();
    const int offset = verticalOffset();
    const int last = rowAtContentY(offset + area.bottom());
    for (int row = rowAtContentY(offset + area.top()); row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = QRect(0, rowTop(row) - offset, viewport()->width(), rowHeight(row));
        if (!option.rect.intersects(area)) {
            continue;
        }
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void ResultListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    if (!m_heights) {
        QListView::setSelection(rect, command);
        return;
    }
    const QRect area = rect.normalized();
    const QModelIndex top = indexAt(area.topLeft());
    const QModelIndex bottom = indexAt(QPoint(area.left(), area.bottom()));
    if (top.isValid() && bottom.isValid()) {
        selectionModel()->select(QItemSelection(top, bottom), command);
    } else if (top.isValid() || bottom.isValid()) {
        const QModelIndex one = top.isValid() ? top : bottom;
        selectionModel()->select(QItemSelection(one, one), command);
    } else {
        selectionModel()->select(QItemSelection(), command);
    }
}

QRegion ResultListView::visualRegionForSelection(const QItemSelection& selection) const
{
    if (!m_heights) {
        return QListView::visualRegionForSelection(selection);
    }
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid() && range.parent() == rootIndex()) {
            region += visualRect(range.topLeft()).united(visualRect(range.bottomRight()));
        }
    }
    return region;
}

void ResultListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (roles.size() == 1 && roles.front() == RowContent::selectedRole) {
        // why: skips QListView's own handler, which schedules a layout of all rows; the base class repaints.
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    QListView::dataChanged(topLeft, bottomRight, roles);
}

void ResultListView::showEvent(QShowEvent* event)
{
    QListView::showEvent(event);
    if (m_layoutPending) {
        doItemsLayout();
    }
}

} // namespace kestrel
