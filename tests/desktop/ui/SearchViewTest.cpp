#include "ui/SearchView.h"

#include "app/AppLauncher.h"
#include "ui/ResultListModel.h"
#include "ui/ResultListView.h"
#include "ui/RowContent.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kestrel {
namespace {

/// The search view over a controller whose catalogue is a folder of 300 empty bundles, "App 000" to
/// "App 299": more rows than a list change diffs one by one.
class SearchViewTest : public ::testing::Test {
protected:
    SearchViewTest()
    {
        for (int i = 0; i < 300; ++i)
            QDir(m_root.path()).mkpath(QStringLiteral("Applications/App %1.app").arg(i, 3, 10, QLatin1Char('0')));
        m_launcher =
            std::make_unique<AppLauncher>(CatalogLocations{m_root.path().toStdString(), {}}, LauncherServices{});
        m_view = std::make_unique<SearchView>(*m_launcher);
        m_view->resize(600, 400);
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    }

    ResultListView& list() { return *m_view->findChild<ResultListView*>(QStringLiteral("resultList")); }
    QString fieldText() { return m_view->findChild<QLineEdit*>(QStringLiteral("searchField"))->text(); }
    const ResultListModel& model() { return *static_cast<const ResultListModel*>(list().model()); }
    /// Whether the list shows the controller's rows, in order, by id, with the selected one alone drawn so
    /// and current, inside the viewport.
    bool showsTheControllersState()
    {
        const std::vector<LauncherApp>& apps = m_launcher->filteredApps();
        if (model().rowCount() != static_cast<int>(apps.size()))
            return false;
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row);
            const Uuid& id = apps[static_cast<std::size_t>(row)].id();
            if (index.data(ResultListModel::idRole).toByteArray()
                    != QByteArray(reinterpret_cast<const char*>(id.bytes().data()), 16)
                || index.data(RowContent::selectedRole).toBool() != (row == m_launcher->selectedIndex()))
                return false;
        }
        const QModelIndex current = list().currentIndex();
        return current.row() == m_launcher->selectedIndex()
               && list().viewport()->rect().contains(list().visualRect(current));
    }

    QTemporaryDir m_root;
    std::unique_ptr<AppLauncher> m_launcher;
    std::unique_ptr<SearchView> m_view;
};

TEST_F(SearchViewTest, TheListFollowsTheControllerThroughSearchesAndShowsAndEachShowStartsAtTheTop)
{
    m_launcher->showSearchWindow();
    QTRY_VERIFY(showsTheControllersState());
    EXPECT_EQ(model().rowCount(), 300);
    EXPECT_TRUE(list().arithmeticLayout()) << "every row of the catalogue is as high as the others";

    m_launcher->moveSelection(150);
    QTRY_VERIFY(showsTheControllersState());
    EXPECT_GT(list().verticalScrollBar()->value(), 0) << "the list scrolled to keep row 150 in sight";

    // A search that narrows the list, a calculation (its row comes first), and the list given back.
    for (const char* text : {"App 1", "App 12", "1+1", "App 2", ""}) {
        SCOPED_TRACE(text);
        m_launcher->setSearchText(text);
        // The view rebuilds the results when it sees the new text, on the next turn of the event loop.
        QTRY_VERIFY(fieldText() == QString::fromUtf8(text) && showsTheControllersState());
        EXPECT_EQ(list().verticalScrollBar()->value(), 0);
        EXPECT_TRUE(list().arithmeticLayout());
    }

    // Ten rows for ten others (changed one by one, not reset) after the list was scrolled by hand.
    m_launcher->setSearchText("App 28");
    QTRY_VERIFY(fieldText() == QStringLiteral("App 28") && showsTheControllersState());
    list().verticalScrollBar()->setValue(list().verticalScrollBar()->maximum());
    ASSERT_GT(list().verticalScrollBar()->value(), 0);
    m_launcher->setSearchText("App 29");
    QTRY_VERIFY(fieldText() == QStringLiteral("App 29") && showsTheControllersState());
    EXPECT_EQ(list().verticalScrollBar()->value(), 0) << "new rows show from the first";

    m_launcher->setSearchText("App 2");
    m_launcher->moveSelection(60);
    QTRY_VERIFY(showsTheControllersState());
    m_launcher->hideSearchWindow();
    m_launcher->showSearchWindow();
    QTRY_COMPARE(model().rowCount(), 300);
    QTRY_VERIFY(showsTheControllersState());
    EXPECT_EQ(m_launcher->selectedIndex(), 0);
    EXPECT_EQ(list().verticalScrollBar()->value(), 0) << "a show starts at the top of the whole list";
    EXPECT_EQ(model().index(0).data().toString(), QStringLiteral("App 000"));
}

} // namespace
} // namespace kestrel
