#pragma once

#include <QListView>

#include <functional>

namespace kestrel {

/// The list view of the results, laid out at a cost that does not grow with the list:
/// - it takes one row's height for every row whenever the rows are all equally high, and measures each
///   row only otherwise;
/// - a change of `RowContent::selectedRole` alone repaints the rows it names without laying the list out
///   again: the selection changes no row's size, and a new layout (which the plain list view starts for
///   every data change) would measure the rows once more and, until it is done, leave the scroll range
///   too short to bring a row past the first measured batch into sight.
/// Main thread only.
class ResultListView : public QListView {
    Q_OBJECT
public:
    /// Answers, for a viewport `width` pixels wide, whether every row of the model has the same height.
    using UniformTest = std::function<bool(int width)>;

    explicit ResultListView(QWidget* parent = nullptr);

    /// Asked before each layout of the rows; without one every row is measured.
    void setUniformTest(UniformTest test) { m_uniformTest = std::move(test); }

    /// Decides between one height for all rows and measuring each, then lays the rows out; while the
    /// view is hidden it takes one height for all and lays the rows out again when shown.
    void doItemsLayout() override;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void showEvent(QShowEvent* event) override;

private:
    UniformTest m_uniformTest;
    bool m_layoutPending = false;
};

} // namespace kestrel
