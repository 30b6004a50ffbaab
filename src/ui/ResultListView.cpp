#include "ui/ResultListView.h"

#include "ui/RowContent.h"

namespace kestrel {

ResultListView::ResultListView(QWidget* parent)
    : QListView(parent)
{
}

void ResultListView::doItemsLayout()
{
    // why: a view not yet shown has not received its size, so the rows would be measured at a width
    // they are never shown at, and every name would seem to wrap. It gets the cheap layout of one
    // height for all, which keeps the view's own bookkeeping in step with the rows, and the real one
    // when it is shown.
    if (!isVisible()) {
        m_layoutPending = true;
        setUniformItemSizes(true);
        QListView::doItemsLayout();
        return;
    }
    m_layoutPending = false;
    // why: QListView asks the delegate for every row's size unless told that the sizes are uniform, and
    // it forgets them at each layout; with thousands of rows that is most of the cost of a change of the
    // list. The rows only differ where a name wraps, which the test sees from remembered measurements.
    setUniformItemSizes(m_uniformTest && m_uniformTest(viewport()->width()));
    QListView::doItemsLayout();
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
