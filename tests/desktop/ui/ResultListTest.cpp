#include "ui/AppRow.h"
#include "ui/IconProvider.h"
#include "ui/ResultListModel.h"
#include "ui/ResultListView.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

// The result list: its model (rows keyed by id), its view (rows placed by arithmetic) and its row delegate.
namespace kestrel {
namespace {

LauncherApp entry(const std::string& name, LauncherItemType type = LauncherItemType::application, IconRef icon = {})
{
    const bool calculation = type == LauncherItemType::calculation;
    return LauncherApp(Uuid::random(), name,
                       calculation ? std::nullopt : std::optional(FileUrl::fromPath("/Applications/" + name + ".app")),
                       std::move(icon), std::nullopt, type, std::nullopt);
}

/// `count` applications "App 0" on.
std::vector<LauncherApp> catalogue(int count)
{
    std::vector<LauncherApp> apps;
    for (int i = 0; i < count; ++i)
        apps.push_back(entry("App " + std::to_string(i)));
    return apps;
}

TEST(ResultListModel, ALocalChangeKeepsTheIdentityOfEveryRowThatStaysAndALargeOneResets)
{
    // Short lists by letter, one record each; a calculator row is one more record, made anew by each search.
    const std::vector<LauncherApp> records = catalogue(26), all = catalogue(300);
    const auto rows = [&records](const std::string& codes) {
        std::vector<LauncherApp> apps;
        for (const char code : codes)
            apps.push_back(records[std::size_t(code - 'A')]);
        return apps;
    };
    const auto reversed = [&all](int from, int to) {
        std::vector<LauncherApp> apps = all;
        std::reverse(apps.begin() + from, apps.begin() + to);
        return apps;
    };
    std::vector<LauncherApp> installed = all;
    installed.insert(installed.begin() + 150, records[0]);
    const struct {
        const char* what;
        std::vector<LauncherApp> before;
        std::vector<LauncherApp> after;
        bool local;
    } cases[] = {
        {"the calculator row made anew", rows("XAB"), rows("YAB"), true},
        {"ABCDE to BD", rows("ABCDE"), rows("BD"), true},
        {"BD to ABCDE", rows("BD"), rows("ABCDE"), true},
        {"XABCD to YDEAF", rows("XABCD"), rows("YDEAF"), true},
        {"AB to nothing", rows("AB"), {}, true},
        {"one installed in the middle of 300", all, installed, true},
        {"64 reversed in the middle", all, reversed(100, 164), true},
        {"65 reversed at the top (typing)", all, reversed(0, 65), false},
        {"the whole list back after a search", {all.front(), all.back()}, all, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResultListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.setResults(c.before, 0);
        std::vector<QPersistentModelIndex> tracked;
        for (int r = 0; r < model.rowCount(); ++r)
            tracked.emplace_back(model.index(r));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        EXPECT_TRUE(model.setResults(c.after, 0));
        EXPECT_EQ(resets.count(), c.local ? 0 : 1);
        EXPECT_TRUE(std::ranges::equal(model.apps(), c.after, {}, &LauncherApp::id, &LauncherApp::id));
        for (std::size_t i = 0; c.local && i < tracked.size(); ++i) {
            const auto found = std::ranges::find(c.after, c.before[i].id(), &LauncherApp::id);
            EXPECT_EQ(tracked[i].row(), found == c.after.end() ? -1 : int(found - c.after.begin())) << "was row " << i;
        }
    }
}

TEST(ResultListModel, RowsAnswerWhatTheDelegateDrawsAndAnotherSelectionChangesOnlyTheTwoRowsThatFlipped)
{
    const IconRef icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::themeIcon, "safari"});
    const std::vector<LauncherApp> apps = {entry("Safari", LauncherItemType::application, icon), entry("Notes"),
                                           entry("2+3 = 5", LauncherItemType::calculation)};
    ResultListModel model;
    model.setResults(apps, 2);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_FALSE(model.setResults(std::vector<LauncherApp>(apps), 0)) << "a copy of the same records";
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 2);
    EXPECT_EQ(changed.at(1).at(0).value<QModelIndex>().row(), 0);
    const RowContent safari = RowContent::read(model.index(0));
    const RowContent sum = RowContent::read(model.index(2));
    EXPECT_EQ(std::tuple(safari.title, safari.subtitle, safari.calculation, safari.icon, safari.selected),
              std::tuple(QStringLiteral("Safari"), QStringLiteral("/Applications/Safari.app"), false, icon, true));
    EXPECT_EQ(std::tuple(sum.title, sum.calculation, sum.icon, sum.selected),
              std::tuple(QStringLiteral("2+3 = 5"), true, IconRef(), false));
    EXPECT_EQ(model.index(0).data(Qt::AccessibleTextRole).toString(), "Safari, /Applications/Safari.app");
}

TEST(AppRow, RememberedRowHeightsMatchAFullLayoutAndSpotWrappedNames)
{
    // Names of one font, names that need another (CJK, emoji, a tab), ones that wrap; each asked again at a
    // width after others, so a remembered value that went wrong would show.
    const std::string wide(120, 'W');
    const std::vector<std::string> titles[] = {
        // without a path line, with one
        {"Notes", "A Remarkably Long Application Name That Does Not Fit On One Line"},
        {"Safari", "\u6587\u5b57\u7de8\u96c6", "Camera \U0001F4F7", "Tab\tName", wide}};
    IconProvider icons;
    AppRow delegate(icons);
    for (const int width : {600, 600, 300, 120, 120, 600}) {
        for (const bool subtitle : {false, true}) {
            for (const std::string& title : titles[subtitle])
                EXPECT_EQ(delegate.rowHeight(title, subtitle, false, width),
                          AppRow::layout(QString::fromStdString(title), subtitle, QPoint(), width).height)
                    << title.substr(0, 12) << " at " << width;
        }
    }
    EXPECT_TRUE(delegate.uniformHeights(catalogue(3), 600));
    EXPECT_FALSE(delegate.uniformHeights({entry("Safari"), entry(wide)}, 600)) << "a wrapped name makes its row higher";
}

/// A shown list view, 600 x 300, of `count` rows, `heights.first` high at row 0 and `heights.others` below (this
/// is their delegate); placed by arithmetic while `arithmetic` holds, else measured by QListView.
struct ShownList : QStyledItemDelegate {
    ShownList(int count, ResultListView::RowHeights rowHeights, bool byArithmetic)
        : heights(rowHeights)
        , arithmetic(byArithmetic)
    {
        model.setStringList(QStringList(count, QStringLiteral("row")));
        view.setHeightsProvider([this](int) { return arithmetic ? std::optional(heights) : std::nullopt; });
        view.setItemDelegate(this);
        view.setModel(&model);
        view.setFrameShape(QFrame::NoFrame);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view.resize(600, 300);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        return {100, index.row() == 0 ? heights.first : heights.others};
    }

    ResultListView::RowHeights heights;
    bool arithmetic;
    QStringListModel model;
    ResultListView view;
};

TEST(ResultListView, RowsPlacedByArithmeticSitWhereQListViewPutsThemAlsoRightAfterAChange)
{
    // No rows, one, a calculator row above the others, and a first row higher than the viewport.
    const std::pair<int, ResultListView::RowHeights> cases[] = {
        {0, {50, 50}}, {1, {70, 50}}, {40, {72, 50}}, {3, {400, 50}}};
    for (const auto& [count, heights] : cases) {
        SCOPED_TRACE(std::to_string(count) + " rows, the first " + std::to_string(heights.first) + " high");
        ShownList arithmetic(count, heights, true);
        ShownList measured(count, heights, false);
        const auto compare = [&](int rows) {
            for (int r = 0; r < rows; ++r)
                EXPECT_EQ(arithmetic.view.visualRect(arithmetic.model.index(r)),
                          measured.view.visualRect(measured.model.index(r)));
            for (int y = -5; y < 310; y += 5)
                EXPECT_EQ(arithmetic.view.indexAt({300, y}).row(), measured.view.indexAt({300, y}).row()) << y;
            ASSERT_EQ(arithmetic.view.verticalScrollBar()->maximum(), measured.view.verticalScrollBar()->maximum());
            ASSERT_EQ(arithmetic.view.verticalScrollBar()->value(), measured.view.verticalScrollBar()->value());
        };
        ASSERT_TRUE(arithmetic.view.arithmeticLayout());
        // At the top, then with the first row, the last, the middle one, the first and the second brought into
        // sight.
        for (const int row : {-1, 0, count - 1, count / 2, 0, 1}) {
            if (row >= count)
                continue;
            arithmetic.view.scrollTo(arithmetic.model.index(row));
            measured.view.scrollTo(measured.model.index(row));
            SCOPED_TRACE("row " + std::to_string(row) + " brought into sight");
            compare(count);
        }
        // Asked right after the rows changed (a calculator row's height at the top, seven more), before the
        // event loop turns; then rows of different heights.
        for (const bool byArithmetic : {true, false}) {
            arithmetic.arithmetic = byArithmetic;
            for (ShownList* list : {&arithmetic, &measured}) {
                list->heights.first += 10;
                list->model.setStringList(QStringList(count + 7, QStringLiteral("row")));
            }
            compare(count + 7);
            EXPECT_EQ(arithmetic.view.arithmeticLayout(), byArithmetic);
        }
    }
}

} // namespace
} // namespace kestrel
