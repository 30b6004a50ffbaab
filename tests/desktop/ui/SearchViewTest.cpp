#include "ui/SearchView.h"

#include "app/AppLauncher.h"
#include "ui/SettingsView.h"

#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace kestrel {
namespace {

/// Runs the event loop, deferred deletions included, long enough for the view's queued refreshes.
void settle() { QTest::qWait(20); }

/// A search view over a real controller whose catalogue is a few empty bundles in a temporary folder;
/// the test itself records what the controller opens.
class SearchViewTest : public ::testing::Test, public Workspace {
protected:
    SearchViewTest()
    {
        for (const char* name : {"Archive Utility", "Chess", "Safari", "Terminal", "TextEdit"})
            QDir(m_root.path()).mkpath(QStringLiteral("Applications/%1.app").arg(QLatin1String(name)));
        LauncherServices services;
        services.workspace = this;
        m_launcher = std::make_unique<AppLauncher>(CatalogLocations{m_root.path().toStdString(), {}},
                                                   std::move(services));
        m_view = std::make_unique<SearchView>(*m_launcher);
        m_view->resize(600, 400);
        m_view->show();
        settle();
    }
    void openApplication(const FileUrl& url) override { m_opened.push_back(url.path()); }
    QLineEdit* field() { return m_view->findChild<QLineEdit*>(QStringLiteral("searchField")); }
    QListView* list() { return m_view->findChild<QListView*>(QStringLiteral("resultList")); }
    void type(const char* keys)
    {
        QTest::keyClicks(field(), QString::fromUtf8(keys));
        settle();
    }

    QTemporaryDir m_root;
    std::vector<std::string> m_opened;
    std::unique_ptr<AppLauncher> m_launcher;
    std::unique_ptr<SearchView> m_view;
};

TEST_F(SearchViewTest, RebuildsOncePerChangeOfTheTextAndNeverForTheSameText)
{
    // Each rebuild for an expression makes a calculator row with a new id, so the distinct ids seen just
    // before every assignment count the rebuilds.
    std::set<std::string> calculatorIds;
    const auto record = [&] {
        const auto& apps = m_launcher->filteredApps();
        if (!apps.empty() && apps.front().type() == LauncherItemType::calculation)
            calculatorIds.insert(apps.front().id().toString());
    };
    const auto subscription = m_launcher->objectWillChange().subscribe(record);
    struct Step {
        std::function<void()> act;
        std::size_t rebuilds;
        const char* firstRow;
    };
    const Step steps[] = {
        {[&] { type("1+2"); }, 1, "1+2 = 3"},
        {[&] { m_launcher->setSearchText("1+2"); }, 1, "1+2 = 3"},
        {[&] { m_launcher->setSearchText("2*3"); }, 2, "2*3 = 6"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.firstRow);
        step.act();
        settle();
        record();
        EXPECT_EQ(calculatorIds.size(), step.rebuilds);
        EXPECT_EQ(list()->model()->index(0, 0).data().toString().toStdString(), step.firstRow);
    }
    m_launcher->objectWillChange().unsubscribe(subscription);
}

TEST_F(SearchViewTest, ClickingARowActivatesItAndTheListStopsAt300InAPanelCentredInTheWindow)
{
    EXPECT_EQ(list()->height(), 300);
    const QRect panel = m_view->panelRect();
    EXPECT_EQ(panel.width(), 600);
    EXPECT_LE(std::abs(panel.top() - (400 - 1 - panel.bottom())), 1) << "panel from " << panel.top() << " to "
                                                                     << panel.bottom();
    type("a");
    const std::vector<LauncherApp> rows = m_launcher->filteredApps();
    ASSERT_GE(rows.size(), 3U);
    QWidget* viewport = list()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(300, viewport->height() - 2)); // below the rows
    EXPECT_TRUE(m_opened.empty());
    QTest::mouseClick(viewport, Qt::LeftButton, {}, list()->visualRect(list()->model()->index(2, 0)).center());
    EXPECT_EQ(m_opened, std::vector<std::string>{rows[2].url()->path()});
}

TEST_F(SearchViewTest, EndingTheSettingsSheetClearsTheFlagAndLeavesTheSearchAlone)
{
    const std::function<void(SettingsView&)> endings[] = {
        [](SettingsView& sheet) { sheet.findChild<QPushButton*>(QStringLiteral("closeButton"))->click(); },
        [](SettingsView& sheet) { QTest::keyClick(&sheet, Qt::Key_Escape); },
        [this](SettingsView&) { m_launcher->setShowingSettings(false); },
    };
    type("t");
    m_launcher->moveSelection(1);
    settle();
    for (const auto& end : endings) {
        m_view->findChild<QToolButton*>(QStringLiteral("settingsButton"))->click();
        settle();
        ASSERT_TRUE(m_launcher->showingSettings());
        const auto sheets = m_view->findChildren<SettingsView*>();
        ASSERT_EQ(sheets.size(), 1);
        end(*sheets.front());
        settle();
        EXPECT_FALSE(m_launcher->showingSettings());
        EXPECT_TRUE(m_view->findChildren<SettingsView*>().isEmpty());
        EXPECT_EQ(m_launcher->searchText(), "t");
        EXPECT_EQ(m_launcher->selectedIndex(), 1) << "the results were rebuilt";
    }
}

} // namespace
} // namespace kestrel
