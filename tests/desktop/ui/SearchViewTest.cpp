#include "LauncherFixture.h"

#include "ui/ResultListModel.h"
#include "ui/SearchView.h"
#include "ui/SettingsView.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

namespace kestrel {
namespace {

using testing::settle;

const std::vector<std::string> catalogue = {"Archive Utility", "Calculator", "Chess", "Safari", "Terminal",
                                            "TextEdit"};

class SearchViewTest : public ::testing::Test {
protected:
    explicit SearchViewTest(const std::vector<std::string>& apps = catalogue) : m_fixture(apps)
    {
        m_view.setAttribute(Qt::WA_TranslucentBackground); // so a grab shows what the view itself paints
        m_view.resize(600, 400);
        m_view.show();
        settle();
    }

    AppLauncher& launcher() { return m_fixture.launcher(); }
    QLineEdit* field() { return m_view.findChild<QLineEdit*>(QStringLiteral("searchField")); }
    QListView* list() { return m_view.findChild<QListView*>(QStringLiteral("resultList")); }
    QToolButton* button(const char* name) { return m_view.findChild<QToolButton*>(QString::fromLatin1(name)); }
    QAbstractItemModel* model() { return list()->model(); }
    QRect rowRect(int row) { return list()->visualRect(model()->index(row, 0)); }

    std::vector<std::string> shownNames()
    {
        std::vector<std::string> names;
        for (int row = 0; row < model()->rowCount(); ++row) {
            names.push_back(model()->index(row, 0).data().toString().toStdString());
        }
        return names;
    }
    int shownSelection()
    {
        int selected = -1;
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->index(row, 0).data(ResultListModel::SelectedRole).toBool()) {
                EXPECT_EQ(selected, -1) << "two rows drawn selected";
                selected = row;
            }
        }
        return selected;
    }
    void type(const QString& keys)
    {
        for (const QChar key : keys) {
            QTest::keyClicks(field(), QString(key));
            settle();
        }
    }
    void click(QPoint where, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(list()->viewport(), button, {}, where);
        settle();
    }
    QImage render(const char* snapshot)
    {
        settle();
        const QImage image = m_view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        testing::saveSnapshot(image, snapshot);
        return image;
    }

    testing::LauncherFixture m_fixture;
    SearchView m_view{m_fixture.launcher()};
};

TEST_F(SearchViewTest, TypingShowsTheMatchesWithTheFirstSelected)
{
    EXPECT_EQ(shownNames(), testing::namesOf(launcher().filteredApps()));
    EXPECT_EQ(shownNames().size(), catalogue.size());
    EXPECT_EQ(field()->placeholderText().toStdString(), "Search applications...");
    struct Case {
        QString typed;
        std::vector<std::string> names;
    };
    for (const Case& c : {Case{QStringLiteral("te"), {"Terminal", "TextEdit"}}, Case{QStringLiteral("x"), {"TextEdit"}},
                          Case{QStringLiteral("\b\b\bar"), {"Archive Utility", "Safari"}}}) {
        SCOPED_TRACE(c.typed.toStdString());
        launcher().moveSelection(1);
        type(c.typed);
        EXPECT_EQ(launcher().searchText(), field()->text().toStdString());
        EXPECT_EQ(shownNames(), c.names);
        EXPECT_EQ(shownSelection(), 0);
        EXPECT_EQ(list()->currentIndex().row(), 0);
    }
}

TEST_F(SearchViewTest, CallsUpdateSearchResultsOncePerChangeOfTheText)
{
    // Each rebuild for an expression makes a calculator row with a new id, so the distinct ids the first
    // row ever had count the rebuilds. Notifications come just before each assignment, so recording there
    // sees every list that existed.
    std::set<std::string> calculatorIds;
    const auto record = [&] {
        const auto& apps = launcher().filteredApps();
        if (!apps.empty() && apps.front().type() == LauncherItemType::calculation) {
            calculatorIds.insert(apps.front().id().toString());
        }
    };
    const auto subscription = launcher().objectWillChange().subscribe(record);
    struct Step {
        const char* what;
        std::function<void()> act;
        std::size_t rebuilds;
        const char* firstRow;
    };
    const Step steps[] = {
        {"typing 1+2", [&] { type(QStringLiteral("1+2")); }, 1, "1+2 = 3"},
        {"the same text assigned again", [&] { launcher().setSearchText("1+2"); }, 1, "1+2 = 3"},
        {"the controller changes the text", [&] { launcher().setSearchText("2*3"); }, 2, "2*3 = 6"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        settle();
        record();
        EXPECT_EQ(calculatorIds.size(), step.rebuilds);
        EXPECT_EQ(shownNames().front(), step.firstRow);
        EXPECT_EQ(field()->text().toStdString(), launcher().searchText());
    }
    launcher().objectWillChange().unsubscribe(subscription);

    launcher().toggleSearchWindow(); // showing clears the text: the field follows, every application is listed
    settle();
    EXPECT_TRUE(field()->text().isEmpty());
    EXPECT_EQ(shownNames().size(), catalogue.size());
    EXPECT_EQ(shownSelection(), 0);
}

TEST_F(SearchViewTest, PanelIsRoundedWithTheSelectedRowHighlightedInsetEight)
{
    const QImage image = render("search-all");
    const QRect panel = m_view.panelRect();
    EXPECT_EQ(panel, QRect(0, 0, 600, list()->geometry().bottom() + 1));
    EXPECT_EQ(list()->height(), SearchView::maximumListHeight);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "top-left corner not rounded";
    EXPECT_EQ(qAlpha(image.pixel(599, panel.bottom())), 0) << "bottom-right corner not rounded";
    EXPECT_EQ(qAlpha(image.pixel(300, 399)), 0) << "painted below the panel";
    EXPECT_EQ(image.pixelColor(300, 2), m_view.palette().color(QPalette::Base)) << "header background";

    const QPoint offset = list()->viewport()->mapTo(&m_view, QPoint());
    const QColor window = m_view.palette().color(QPalette::Window);
    const QRect first = rowRect(0).translated(offset);
    EXPECT_EQ(image.pixelColor(first.left() + 7, first.top() + 2), window) << "highlight not inset";
    EXPECT_NE(image.pixelColor(first.left() + 8, first.top() + 2), window) << "first row not highlighted";
    EXPECT_EQ(image.pixelColor(first.right() - 7, first.top() + 2), window) << "highlight not inset";
    const QRect second = rowRect(1).translated(offset);
    EXPECT_EQ(image.pixelColor(second.left() + 10, second.top() + 2), window) << "second row highlighted";
}

TEST_F(SearchViewTest, NoMatchesLeaveTheListAreaBlankAtFullHeight)
{
    type(QStringLiteral("zzz"));
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(list()->height(), SearchView::maximumListHeight);
    const QImage image = render("search-empty");
    const QRect area = list()->geometry().adjusted(0, 0, 0, -SearchView::cornerRadius);
    const QColor window = m_view.palette().color(QPalette::Window);
    int painted = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            painted += image.pixelColor(x, y) != window ? 1 : 0;
        }
    }
    EXPECT_EQ(painted, 0) << "something drawn on an empty list";

    m_view.resize(600, 200); // a smaller window squeezes the list instead of overflowing
    settle();
    EXPECT_LE(list()->geometry().bottom(), 199);
}

TEST_F(SearchViewTest, ClickingARowSelectsAndActivatesIt)
{
    launcher().toggleSearchWindow();
    settle();
    type(QStringLiteral("a"));
    const std::vector<LauncherApp> rows = launcher().filteredApps();
    ASSERT_GE(rows.size(), 3U);
    ASSERT_LT(rowRect(model()->rowCount() - 1).bottom(), list()->viewport()->height() - 10);
    click(rowRect(1).center(), Qt::RightButton);
    click(QPoint(300, list()->viewport()->height() - 2)); // below the rows
    EXPECT_TRUE(m_fixture.log().openedPaths.empty()) << "right button or empty space activated a row";

    click(rowRect(2).center());
    EXPECT_EQ(launcher().selectedIndex(), 2);
    EXPECT_EQ(m_fixture.log().openedPaths, std::vector<std::string>{rows[2].url()->path()});
    EXPECT_FALSE(launcher().isSearchVisible());

    launcher().toggleSearchWindow();
    settle();
    type(QStringLiteral("2+3"));
    render("search-calculator");
    click(rowRect(0).center());
    EXPECT_EQ(m_fixture.log().openedPaths.size(), 1U) << "the calculator row must not open anything";
    EXPECT_EQ(m_fixture.log().clipboard.size(), 1U);
    EXPECT_FALSE(launcher().isSearchVisible());
}

TEST_F(SearchViewTest, SettingsSheetOpensAndClosingItLeavesTheSearchAlone)
{
    struct Ending {
        const char* name;
        std::function<void(SettingsView&)> end;
    };
    const Ending endings[] = {
        {"Close button",
         [](SettingsView& sheet) { sheet.findChild<QPushButton*>(QStringLiteral("closeButton"))->click(); }},
        {"Escape", [](SettingsView& sheet) { QTest::keyClick(&sheet, Qt::Key_Escape); }},
        {"the controller", [this](SettingsView&) { launcher().setShowingSettings(false); }},
    };
    type(QStringLiteral("t"));
    launcher().moveSelection(1);
    settle();
    const auto text = launcher().searchText();
    const auto ids = testing::idsOf(launcher().filteredApps());
    const auto selected = launcher().selectedIndex();
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        button("settingsButton")->click();
        settle();
        EXPECT_TRUE(launcher().showingSettings());
        const auto sheets = m_view.findChildren<SettingsView*>();
        ASSERT_EQ(sheets.size(), 1);
        EXPECT_TRUE(sheets.front()->isVisible());

        ending.end(*sheets.front());
        settle();
        EXPECT_FALSE(launcher().showingSettings());
        EXPECT_TRUE(m_view.findChildren<SettingsView*>().isEmpty());
        EXPECT_EQ(launcher().searchText(), text);
        EXPECT_EQ(testing::idsOf(launcher().filteredApps()), ids);
        EXPECT_EQ(launcher().selectedIndex(), selected);
    }
}

TEST_F(SearchViewTest, ButtonsAndRowsShowTheHandAndSayWhatTheyAre)
{
    for (const auto& [object, text] :
         {std::pair{"settingsButton", "Settings"}, std::pair{"quitButton", "Quit Kestrelpoint"}}) {
        const QToolButton* b = button(object);
        EXPECT_EQ(b->toolTip().toStdString(), text);
        EXPECT_EQ(b->accessibleName().toStdString(), text);
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_EQ(field()->accessibleName().toStdString(), "Search applications");

    type(QStringLiteral("a"));
    QWidget* viewport = list()->viewport();
    const auto pointerAt = [&](QPoint where) {
        QMouseEvent move(QEvent::MouseMove, where, viewport->mapToGlobal(where), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        return viewport->cursor().shape();
    };
    EXPECT_EQ(pointerAt(rowRect(0).center()), Qt::PointingHandCursor);
    EXPECT_NE(pointerAt(QPoint(300, viewport->height() - 2)), Qt::PointingHandCursor);
    pointerAt(rowRect(1).center());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport, &leave);
    EXPECT_NE(viewport->cursor().shape(), Qt::PointingHandCursor);

    // The list's current row follows the selection, so a screen reader announces the selected row.
    for (const std::int64_t offset : {1, -1}) {
        launcher().moveSelection(offset);
        settle();
        const QModelIndex current = list()->currentIndex();
        EXPECT_EQ(current.row(), launcher().selectedIndex());
        EXPECT_TRUE(list()->selectionModel()->isSelected(current));
        const LauncherApp& app = launcher().filteredApps()[static_cast<std::size_t>(current.row())];
        EXPECT_EQ(current.data(Qt::AccessibleTextRole).toString().toStdString(), app.name() + ", " + app.url()->path());
    }
}

TEST_F(SearchViewTest, SearchFieldGetsTheFocusOneTurnLater)
{
    m_view.activateWindow();
    settle();
    field()->clearFocus();
    m_view.focusSearchFieldSoon();
    EXPECT_FALSE(field()->hasFocus()) << "the focus must be given on a later turn of the event loop";
    settle();
    EXPECT_TRUE(field()->hasFocus());
}

TEST_F(SearchViewTest, QuitButtonEndsTheEventLoopAtOnce)
{
    QTimer::singleShot(0, button("quitButton"), &QToolButton::click);
    QTimer safety;
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    safety.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
}

std::vector<std::string> manyApps()
{
    std::vector<std::string> names;
    for (int i = 10; i < 50; ++i) {
        names.push_back("Application " + std::to_string(i));
    }
    return names;
}

class LongListTest : public SearchViewTest {
protected:
    LongListTest() : SearchViewTest(manyApps()) {}
};

TEST_F(LongListTest, SelectedRowIsScrolledIntoView)
{
    const QRect viewport = list()->viewport()->rect();
    for (const std::int64_t target : {30, 39, 5, 0}) {
        launcher().moveSelection(target - launcher().selectedIndex());
        settle();
        EXPECT_TRUE(viewport.contains(rowRect(static_cast<int>(target)))) << "row " << target << " out of sight";
    }
}

} // namespace
} // namespace kestrel
