#include "desktop/SearchWindow.h"

#include "app/AppLauncher.h"
#include "app/LauncherKeys.h"
#include "ui/SettingsView.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kestrel {
namespace {

TEST(SearchWindowPlacement, CentresInTheAvailableAreaAndNeverSticksOut)
{
    const std::pair<QRect, QPoint> cases[] = {
        {QRect(0, 32, 1920, 1048), QPoint(660, 356)},      // below a top panel
        {QRect(-1280, 200, 1280, 800), QPoint(-940, 400)}, // a screen left of and below the origin
        {QRect(0, 0, 601, 401), QPoint(0, 0)},             // odd pixels left over go right and down
        {QRect(100, 50, 500, 300), QPoint(100, 50)},       // smaller than the window: its top-left edge
    };
    for (const auto& [available, expected] : cases)
        EXPECT_EQ(SearchWindow::centredPosition(available, QSize(600, 400)), expected) << expected.x();
}

/// The real window and views over a controller whose catalogue is a folder of 40 empty bundles; the test
/// records what the controller opens.
class SearchWindowTest : public ::testing::Test, public Workspace, public ApplicationActivator {
protected:
    SearchWindowTest()
    {
        for (int i = 0; i < 40; ++i)
            QDir(m_root.path()).mkpath(QStringLiteral("Applications/App %1.app").arg(i, 2, 10, QLatin1Char('0')));
        const auto makeWindow = [](AppLauncher& launcher) { return std::make_unique<SearchWindow>(launcher); };
        m_launcher = std::make_unique<AppLauncher>(CatalogLocations{m_root.path().toStdString(), {}},
                                                   LauncherServices{.hotKey = nullptr,
                                                                    .makeSearchWindow = makeWindow,
                                                                    .activator = this,
                                                                    .workspace = this,
                                                                    .pasteboard = nullptr});
        // As the hot key does; then the queued refreshes and the deferred focus run.
        m_launcher->toggleSearchWindow();
        EXPECT_TRUE(QTest::qWaitFor([this] { return window().focusWidget() == field(); }, 30000));
        runQueued();
    }
    void openApplication(const FileUrl& url) override { m_opened.push_back(url.path()); }
    void activateIgnoringOtherApps() override { }

    SearchWindow& window() { return *static_cast<SearchWindow*>(m_launcher->searchWindow()); }
    QLineEdit* field() { return window().findChild<QLineEdit*>(QStringLiteral("searchField")); }
    QListView* list() { return window().findChild<QListView*>(QStringLiteral("resultList")); }
    SettingsView* sheet() { return window().findChild<SettingsView*>(); }
    QToolButton* button(const char* name) { return window().findChild<QToolButton*>(QLatin1String(name)); }
    /// Returns once everything queued so far (the views' refreshes after a change) has run: a marker posted
    /// now runs after it.
    void runQueued()
    {
        bool reached = false;
        QMetaObject::invokeMethod(
            &window(), [&reached] { reached = true; }, Qt::QueuedConnection);
        EXPECT_TRUE(QTest::qWaitFor([&reached] { return reached; }, 30000));
    }
    /// Presses and releases Up, Down or Return as the X server reports them: with their keysym, which the
    /// key monitor reads (QTest's key events carry none).
    void press(QWidget* receiver, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        const std::uint32_t keysym = key == Qt::Key_Up     ? launcherKeys::moveUp.keysym
                                     : key == Qt::Key_Down ? launcherKeys::moveDown.keysym
                                                           : launcherKeys::activate.keysym;
        // The window's own shortcuts are none, so every key is pressed after its shortcut override.
        for (const QEvent::Type type : {QEvent::ShortcutOverride, QEvent::KeyPress}) {
            QKeyEvent event(type, key, modifiers, 0, keysym, 0);
            QCoreApplication::sendEvent(receiver, &event);
        }
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, 0, keysym, 0);
        QCoreApplication::sendEvent(receiver, &up);
        runQueued();
    }

    QTemporaryDir m_root;
    std::vector<std::string> m_opened;
    std::unique_ptr<AppLauncher> m_launcher;
};

TEST_F(SearchWindowTest, TheFieldKeepsTheFocusTheArrowsMoveTheSelectionInSightAndAClickActivatesARow)
{
    // (Later shows are the real X server's part: the offscreen platform does not activate a window twice.)
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 30000));
    button("quitButton")->setFocus(); // as a click elsewhere might leave it; the next show brings it back
    m_launcher->toggleSearchWindow();
    m_launcher->toggleSearchWindow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return window().focusWidget() == field(); }, 30000));

    const auto inSight = [this] {
        const QRect row = list()->visualRect(list()->model()->index(static_cast<int>(m_launcher->selectedIndex()), 0));
        return list()->viewport()->rect().contains(row);
    };
    // To the last of the 40 rows and back, with Shift held on every other key.
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
        for (int step = 0; step < 39; ++step) {
            press(field(), key, step % 2 == 0 ? Qt::NoModifier : Qt::ShiftModifier);
            ASSERT_TRUE(inSight()) << "row " << m_launcher->selectedIndex();
        }
        ASSERT_EQ(m_launcher->selectedIndex(), key == Qt::Key_Down ? 39 : 0);
        EXPECT_EQ(list()->verticalScrollBar()->value() > 0, key == Qt::Key_Down);
    }
    const std::vector<LauncherApp> rows = m_launcher->filteredApps();
    const QPoint third = list()->visualRect(list()->model()->index(2, 0)).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, third);
    EXPECT_EQ(m_opened, std::vector<std::string>{rows[2].url()->path()});
    EXPECT_FALSE(window().isVisible()) << "activation hides the window";
}

TEST_F(SearchWindowTest, KeysGoToTheOpenSettingsSheetAndReturnEndsItLeavingTheSearchAlone)
{
    // (Escape on the sheet is the end-to-end test's.)
    press(field(), Qt::Key_Down);
    button("settingsButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return sheet() != nullptr; }, 30000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet(), 30000));
    press(sheet(), Qt::Key_Down);
    press(sheet(), Qt::Key_Up);
    press(sheet(), Qt::Key_Return); // the sheet's Close button
    EXPECT_TRUE(QTest::qWaitFor([this] { return sheet() == nullptr; }, 30000));
    runQueued();
    EXPECT_FALSE(m_launcher->showingSettings());
    EXPECT_EQ(sheet(), nullptr);
    EXPECT_TRUE(window().isVisible()) << "the key ended the sheet, not the search";
    EXPECT_EQ(m_launcher->selectedIndex(), 1) << "the arrows reached the search, or the results were rebuilt";
    EXPECT_TRUE(m_opened.empty());
}

// Typing and Return that arrive in one batch of input (a fast typist, a busy machine): Return acts on the
// results for the text typed, not on the list shown before it.
TEST_F(SearchWindowTest, ReturnRightAfterTypingLaunchesWhatTheTextFinds)
{
    QTest::keyClicks(field(), QStringLiteral("p 37")); // no event-loop turn in between
    press(field(), Qt::Key_Return);
    ASSERT_EQ(m_opened.size(), 1u);
    EXPECT_NE(m_opened[0].find("App 37.app"), std::string::npos) << m_opened[0];
}

TEST_F(SearchWindowTest, TheQuitButtonEndsTheEventLoopAtOnce)
{
    QTimer::singleShot(0, &window(), [this] { button("quitButton")->click(); });
    QTimer::singleShot(30000, &window(), [] { QCoreApplication::exit(7); }); // a watchdog
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

} // namespace
} // namespace kestrel
