#include "ui/ResultListView.h"

#include <QScrollBar>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kestrel {
namespace {

/// Rows `first` high at row 0 and `others` high below it, as the heights provider says.
class FixedHeights : public QStyledItemDelegate {
public:
    FixedHeights(int first, int others)
        : m_first(first)
        , m_others(others)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        return {100, index.row() == 0 ? m_first : m_others};
    }

private:
    int m_first;
    int m_others;
};

/// A list view of `count` rows, 600 x 300, shown; placed by arithmetic when `arithmetic`, else by QListView.
struct ShownList {
    ShownList(int count, ResultListView::RowHeights heights, bool arithmetic)
        : delegate(heights.first, heights.others)
    {
        QStringList rows;
        for (int row = 0; row < count; ++row)
            rows << QStringLiteral("row %1").arg(row);
        model.setStringList(rows);
        view.setHeightsProvider(
            [heights, arithmetic](int) { return arithmetic ? std::optional(heights) : std::nullopt; });
        view.setItemDelegate(&delegate);
        view.setModel(&model);
        view.setFrameShape(QFrame::NoFrame);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.resize(600, 300);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.doItemsLayout();
    }

    QStringListModel model;
    FixedHeights delegate;
    ResultListView view;
};

TEST(ResultListView, RowsPlacedByArithmeticSitWhereQListViewPutsThem)
{
    const struct {
        int count;
        ResultListView::RowHeights heights;
    } cases[] = {{0, {50, 50}}, {1, {70, 50}}, {5, {50, 50}}, {40, {50, 50}}, {40, {72, 50}}, {3, {400, 50}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " rows, " + std::to_string(c.heights.first) + " then "
                     + std::to_string(c.heights.others));
        ShownList arithmetic(c.count, c.heights, true);
        ShownList measured(c.count, c.heights, false);
        ASSERT_TRUE(arithmetic.view.arithmeticLayout());
        ASSERT_FALSE(measured.view.arithmeticLayout());
        const auto compare = [&](const char* when) {
            SCOPED_TRACE(when);
            ASSERT_EQ(arithmetic.view.verticalScrollBar()->maximum(), measured.view.verticalScrollBar()->maximum());
            ASSERT_EQ(arithmetic.view.verticalScrollBar()->value(), measured.view.verticalScrollBar()->value());
            for (int row = 0; row < c.count; ++row) {
                EXPECT_EQ(arithmetic.view.visualRect(arithmetic.model.index(row)),
                          measured.view.visualRect(measured.model.index(row)))
                    << "row " << row;
            }
            for (int y = -5; y < 310; y += 7) {
                EXPECT_EQ(arithmetic.view.indexAt(QPoint(300, y)).row(), measured.view.indexAt(QPoint(300, y)).row())
                    << "at y " << y;
            }
        };
        compare("at the top");
        const QAbstractItemView::ScrollHint hints[] = {
            QAbstractItemView::EnsureVisible, QAbstractItemView::PositionAtTop, QAbstractItemView::PositionAtBottom,
            QAbstractItemView::PositionAtCenter};
        for (const int row : {c.count - 1, c.count / 2, 0, 1}) {
            for (const QAbstractItemView::ScrollHint hint : hints) {
                if (row < 0 || row >= c.count)
                    continue;
                arithmetic.view.scrollTo(arithmetic.model.index(row), hint);
                measured.view.scrollTo(measured.model.index(row), hint);
                compare(("scrolled to row " + std::to_string(row) + " with hint " + std::to_string(hint)).c_str());
            }
        }
    }
}

TEST(ResultListView, AChangedListIsPlacedAnewAndFallsBackToMeasuringWhenTheRowsDiffer)
{
    ShownList list(10, {50, 50}, true);
    bool uniform = true;
    list.view.setHeightsProvider([&uniform](int) {
        return uniform ? std::optional(ResultListView::RowHeights{50, 50}) : std::nullopt;
    });
    list.model.setStringList({"a", "b", "c"});
    EXPECT_EQ(list.view.visualRect(list.model.index(2)), QRect(0, 100, list.view.viewport()->width(), 50))
        << "the layout a change asked for comes before the answer";
    EXPECT_EQ(list.view.verticalScrollBar()->maximum(), 0);
    uniform = false;
    list.model.setStringList({"a", "b", "c", "d", "e", "f", "g"});
    EXPECT_EQ(list.view.visualRect(list.model.index(6)).top(), 300);
    EXPECT_FALSE(list.view.arithmeticLayout());
    EXPECT_EQ(list.view.verticalScrollBar()->maximum(), 50);
}

} // namespace
} // namespace kestrel
