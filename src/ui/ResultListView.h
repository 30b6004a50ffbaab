#pragma once

#include <QListView>

#include <functional>
#include <optional>

namespace kestrel {

/// The list view of the results, laid out at a cost that does not grow with the list:
/// - when the first row has one height and every other row another (the calculator row above
///   applications whose names fit on one line), which the view is told by its `RowHeights` callback, the
///   rows are placed by arithmetic: nothing is done per row except painting the rows in view, and the
///   scroll range follows from the number of rows;
/// - otherwise every row is measured and laid out by QListView;
/// - a change of `RowContent::selectedRole` alone repaints the rows it names without laying the list out
///   again: the selection changes no row's size, and a new layout (which the plain list view starts for
///   every data change) would measure the rows once more and, until it is done, leave the scroll range
///   too short to bring a row past the first measured batch into sight.
/// Only vertical, unwrapped lists in per-pixel scrolling are meant. Main thread only.
class ResultListView : public QListView {
    Q_OBJECT
public:
    /// The height of the first row and of each row after it.
    struct RowHeights {
        int first = 0;
        int others = 0;
    };
    /// Answers, for a viewport `width` pixels wide, the rows' heights when they take the shape above;
    /// nothing when the rows must be measured one by one.
    using HeightsProvider = std::function<std::optional<RowHeights>(int width)>;

    explicit ResultListView(QWidget* parent = nullptr);

    /// Asked before each layout of the rows; without one every row is measured.
    void setHeightsProvider(HeightsProvider provider) { m_heightsProvider = std::move(provider); }
    /// Whether the last layout placed the rows by arithmetic (for tests).
    bool arithmeticLayout() const { return m_heights.has_value(); }

    /// Decides between placing the rows by arithmetic and measuring each, then lays the rows out; while
    /// the view is hidden it lays them out again when shown, at the width it then has.
    void doItemsLayout() override;

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

private:
    /// The top of `row` in the contents (arithmetic layout only).
    int rowTop(int row) const;
    /// The row at `y` in the contents, clamped into the rows (arithmetic layout only).
    int rowAtContentY(int y) const;
    int contentHeight() const;
    int rowHeight(int row) const;

    HeightsProvider m_heightsProvider;
    std::optional<RowHeights> m_heights;
    bool m_layoutPending = false;
};

} // namespace kestrel
