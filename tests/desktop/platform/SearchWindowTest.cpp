#include "desktop/SearchWindow.h"

#include "app/AppLauncher.h"
#include "ui/SettingsView.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(SearchWindowPlacement, CentresInTheAvailableAreaAndNeverSticksOut)
{
    const QSize window(600, 400);
    struct Case {
        QRect available;
        QPoint expected;
    };
    const Case cases[] = {
        {QRect(0, 0, 1920, 1080), QPoint(660, 340)},
        {QRect(0, 32, 1920, 1048), QPoint(660, 356)},      // below a top panel
        {QRect(1920, 0, 1280, 1024), QPoint(2260, 312)},  // the second screen, right of the first
        {QRect(-1280, 200, 1280, 800), QPoint(-940, 400)}, // a screen left of and below the origin
        {QRect(0, 0, 601, 401), QPoint(0, 0)},             // odd pixels left over go right and down
        {QRect(100, 50, 500, 300), QPoint(100, 50)},       // smaller than the window: its top-left edge
    };
    for (const Case& c : cases) {
        const QPoint at = SearchWindow::centredPosition(c.available, window);
        EXPECT_EQ(at, c.expected) << c.available.x() << "," << c.available.y() << " " << c.available.width()
                                  << "x" << c.available.height();
    }
}

/// The real window and views over a controller whose catalogue is a folder of empty bundles; the test
/// records what the controller opens.
class SearchWindowTest : public ::testing::Test, public Workspace, public ApplicationActivator {
protected:
    SearchWindowTest()
    {
        for (int i = 0; i < 40; ++i)
            QDir(m_root.path()).mkpath(QStringLiteral("Applications/App %1.app").arg(i, 2, 10, QLatin1Char('0')));
        LauncherServices services;
        services.makeSearchWindow = [](AppLauncher& launcher) { return std::make_unique<SearchWindow>(launcher); };
        services.workspace = this;
        services.activator = this;
        m_launcher = std::make_unique<AppLauncher>(CatalogLocations{m_root.path().toStdString(), {}},
                                                   std::move(services));
    }
    void openApplication(const FileUrl& url) override { m_opened.push_back(url.path()); }
    void activateIgnoringOtherApps() override {}

    SearchWindow& window() { return *static_cast<SearchWindow*>(m_launcher->searchWindow()); }
    QLineEdit* field() { return window().findChild<QLineEdit*>(QStringLiteral("searchField")); }
    QListView* list() { return window().findChild<QListView*>(QStringLiteral("resultList")); }
    SettingsView* sheet() { return window().findChild<SettingsView*>(); }

    /// Toggles the window as the hot key does and lets the queued refreshes and the deferred focus run.
    void toggle()
    {
        m_launcher->toggleSearchWindow();
        QTest::qWait(30);
    }
    void press(QWidget* receiver, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(receiver, key, modifiers);
        QTest::qWait(10);
    }
    void openSettings()
    {
        window().findChild<QToolButton*>(QStringLiteral("settingsButton"))->click();
        QTest::qWait(30);
        ASSERT_NE(sheet(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet()));
    }

    QTemporaryDir m_root;
    std::vector<std::string> m_opened;
    std::unique_ptr<AppLauncher> m_launcher;
};

TEST_F(SearchWindowTest, TheFieldHasTheFocusTheFourKeysDriveTheLauncherAndOtherKeysReachTheField)
{
    // (Later shows are the real X server's part: the offscreen platform does not activate a window twice.)
    toggle();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    ASSERT_EQ(QApplication::focusWidget(), field());
    QSignalSpy fieldReturns(field(), &QLineEdit::returnPressed);
    press(field(), Qt::Key_Down);
    press(field(), Qt::Key_Down, Qt::ShiftModifier);
    press(field(), Qt::Key_Up);
    EXPECT_EQ(m_launcher->selectedIndex(), 1);
    // The keypad's keys are keys of their own: its arrows (NumLock off) and Enter reach the field.
    press(field(), Qt::Key_Down, Qt::KeypadModifier);
    press(field(), Qt::Key_Up, Qt::KeypadModifier);
    press(field(), Qt::Key_Up, Qt::KeypadModifier);
    press(field(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(m_launcher->selectedIndex(), 1);
    EXPECT_TRUE(m_opened.empty());
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_P, Qt::Key_Left, Qt::Key_Backspace, Qt::Key_P, Qt::Key_1})
        press(field(), key);
    EXPECT_EQ(field()->text().toStdString(), "p1p") << "Left moved the cursor before the 'p', Backspace took the 'a'";

    press(field(), Qt::Key_Return);
    EXPECT_TRUE(window().isVisible()) << "Return without results does nothing";
    EXPECT_EQ(field()->text().toStdString(), "p1p");

    for (int i = 0; i < 3; ++i)
        press(field(), Qt::Key_Backspace);
    press(field(), Qt::Key_Down);
    press(field(), Qt::Key_Return);
    EXPECT_EQ(m_opened, std::vector<std::string>{m_launcher->filteredApps().at(1).url()->path()});
    EXPECT_EQ(fieldReturns.count(), 1) << "only the keypad's Enter reached the field";
    EXPECT_FALSE(window().isVisible()) << "activation hides the window";
    toggle();
    press(field(), Qt::Key_Escape);
    EXPECT_FALSE(m_launcher->isSearchVisible());
    EXPECT_FALSE(window().isVisible());
}

TEST_F(SearchWindowTest, KeysGoToTheOpenSettingsSheetWhichReturnAndEscapeEnd)
{
    toggle();
    press(field(), Qt::Key_Down);
    for (const Qt::Key ending : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(ending == Qt::Key_Return ? "Return (the Close button)" : "Escape");
        openSettings();
        press(sheet(), Qt::Key_Down);
        press(sheet(), Qt::Key_Up);
        EXPECT_TRUE(m_launcher->showingSettings());
        press(sheet(), ending);
        QTest::qWait(20);
        EXPECT_FALSE(m_launcher->showingSettings());
        EXPECT_EQ(sheet(), nullptr);
        EXPECT_TRUE(window().isVisible()) << "the key ended the sheet, not the search";
        EXPECT_EQ(m_launcher->selectedIndex(), 1) << "the arrows went to the sheet";
        EXPECT_TRUE(m_opened.empty());
    }
}

TEST_F(SearchWindowTest, HidingTheWindowTakesTheSheetAlongAndTheNextShowBringsItBack)
{
    toggle();
    openSettings();
    toggle(); // the hot key, or a second start of the program
    EXPECT_FALSE(window().isVisible());
    ASSERT_NE(sheet(), nullptr);
    EXPECT_FALSE(sheet()->isVisible()) << "the sheet stayed on screen without its window";
    EXPECT_TRUE(m_launcher->showingSettings());

    toggle();
    EXPECT_TRUE(window().isVisible());
    ASSERT_NE(sheet(), nullptr);
    EXPECT_TRUE(sheet()->isVisible()) << "showingSettings is still set, so the sheet is presented";
    EXPECT_EQ(m_launcher->searchText(), "");
    sheet()->findChild<QPushButton*>(QStringLiteral("closeButton"))->click();
    QTest::qWait(20);
    EXPECT_FALSE(m_launcher->showingSettings());
    EXPECT_TRUE(window().isVisible());
}

TEST_F(SearchWindowTest, TheSelectedRowStaysInSightAsTheKeysMoveIt)
{
    toggle();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    const auto inSight = [this] {
        const QRect row = list()->visualRect(list()->model()->index(static_cast<int>(m_launcher->selectedIndex()), 0));
        return list()->viewport()->rect().contains(row);
    };
    for (int step = 0; step < 39; ++step) {
        press(field(), Qt::Key_Down);
        ASSERT_TRUE(inSight()) << "row " << m_launcher->selectedIndex();
    }
    EXPECT_EQ(m_launcher->selectedIndex(), 39);
    EXPECT_GT(list()->verticalScrollBar()->value(), 0);
    for (int step = 0; step < 39; ++step) {
        press(field(), Qt::Key_Up);
        ASSERT_TRUE(inSight()) << "row " << m_launcher->selectedIndex();
    }
    EXPECT_EQ(list()->verticalScrollBar()->value(), 0);
}

TEST_F(SearchWindowTest, TheQuitButtonEndsTheEventLoopAtOnce)
{
    toggle();
    QTimer::singleShot(0, &window(), [this] { window().findChild<QToolButton*>(QStringLiteral("quitButton"))->click(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    watchdog.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

} // namespace
} // namespace kestrel
