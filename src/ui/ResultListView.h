#pragma once

#include <QListView>

namespace kestrel {

/// The list view of the results. A change of `RowContent::selectedRole` alone repaints the rows it names
/// without laying the list out again: the selection changes no row's size, and a new layout (which the
/// plain list view starts for every data change) would measure every row once more and, until it is done,
/// leave the scroll range too short to bring a row past the first measured batch into sight.
class ResultListView : public QListView {
    Q_OBJECT
public:
    explicit ResultListView(QWidget* parent = nullptr);

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
};

} // namespace kestrel
