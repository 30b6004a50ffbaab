#include "ui/ResultListView.h"

#include "ui/RowContent.h"

namespace kestrel {

ResultListView::ResultListView(QWidget* parent) : QListView(parent) {}

void ResultListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (roles.size() == 1 && roles.front() == RowContent::selectedRole) {
        // why: skips QListView's own handler, which schedules a layout of all rows; the base class repaints.
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    QListView::dataChanged(topLeft, bottomRight, roles);
}

} // namespace kestrel
