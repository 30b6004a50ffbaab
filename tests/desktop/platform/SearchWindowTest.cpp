#include "desktop/SearchWindow.h"

#include "app/AppLauncher.h"
#include "app/LauncherKeys.h"
#include "ui/ResultListModel.h"
#include "ui/ResultListView.h"
#include "ui/SettingsView.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrel {
namespace {

/// The real window and views over a controller whose catalogue is a folder of 300 empty bundles, "App 000"
/// to "App 299" (more rows than a list change diffs one by one); the test records what the controller opens.
class SearchWindowTest : public ::testing::Test, public Workspace, public ApplicationActivator {
protected:
    SearchWindowTest()
    {
        for (int i = 0; i < 300; ++i)
            QDir(m_root.path()).mkpath(QStringLiteral("Applications/App %1.app").arg(i, 3, 10, QLatin1Char('0')));
        const auto makeWindow = [](AppLauncher& launcher) { return std::make_unique<SearchWindow>(launcher); };
        m_launcher = std::make_unique<AppLauncher>(
            CatalogLocations{m_root.path().toStdString(), {}},
            LauncherServices{.hotKey = nullptr, .makeSearchWindow = makeWindow, .activator = this, .workspace = this});
        m_launcher->toggleSearchWindow(); // as the hot key does; then the deferred focus and refreshes run
        EXPECT_TRUE(QTest::qWaitFor([this] { return window().focusWidget() == field(); }, 30000));
        runQueued();
    }
    void openApplication(const FileUrl& url) override { m_opened.push_back(url.path()); }
    void activateIgnoringOtherApps() override { }

    SearchWindow& window() { return *static_cast<SearchWindow*>(m_launcher->searchWindow()); }
    QLineEdit* field() { return window().findChild<QLineEdit*>(QStringLiteral("searchField")); }
    ResultListView* list() { return window().findChild<ResultListView*>(QStringLiteral("resultList")); }
    QScrollBar* scroll() { return list()->verticalScrollBar(); }
    SettingsView* sheet() { return window().findChild<SettingsView*>(); }
    QToolButton* button(const char* name) { return window().findChild<QToolButton*>(QLatin1String(name)); }
    /// Returns once everything queued so far (the views' refreshes after a change) has run.
    void runQueued()
    {
        bool reached = false;
        QMetaObject::invokeMethod(
            &window(), [&reached] { reached = true; }, Qt::QueuedConnection);
        EXPECT_TRUE(QTest::qWaitFor([&reached] { return reached; }, 30000));
    }
    /// Presses and releases `key` as the X server reports it: with its keysym, which the key monitor reads
    /// (QTest's key events carry none), after the shortcut override that every key gets.
    void press(QWidget* receiver, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        const std::uint32_t keysym = key == Qt::Key_Up       ? launcherKeys::moveUp.keysym
                                     : key == Qt::Key_Down   ? launcherKeys::moveDown.keysym
                                     : key == Qt::Key_Return ? launcherKeys::activate.keysym
                                     : key == Qt::Key_Escape ? launcherKeys::hide.keysym
                                                             : 0xff8d; // the keypad's Enter
        for (const QEvent::Type type : {QEvent::ShortcutOverride, QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, modifiers, 0, keysym, 0);
            QCoreApplication::sendEvent(receiver, &event);
        }
        runQueued();
    }
    /// Whether the list shows the controller's rows by id, the selected one drawn so and current, in sight.
    bool showsTheControllersState()
    {
        const QModelIndex current = list()->currentIndex();
        return std::ranges::equal(static_cast<const ResultListModel*>(list()->model())->apps(),
                                  m_launcher->filteredApps(), {}, &LauncherApp::id, &LauncherApp::id)
               && current.row() == m_launcher->selectedIndex() && current.data(RowContent::selectedRole).toBool()
               && list()->viewport()->rect().contains(list()->visualRect(current));
    }

    QTemporaryDir m_root;
    std::vector<std::string> m_opened;
    std::unique_ptr<AppLauncher> m_launcher;
};

TEST_F(SearchWindowTest, TheListFollowsTheControllerTheArrowsKeepTheSelectionInSightAndEachShowStartsAtTheTop)
{
    // (Later shows are the real X server's part: the offscreen platform does not activate a window twice.)
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 30000));
    button("quitButton")->setFocus(); // as a click elsewhere might leave it; the next show brings it back
    m_launcher->toggleSearchWindow();
    m_launcher->toggleSearchWindow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return window().focusWidget() == field(); }, 30000));
    EXPECT_TRUE(list()->arithmeticLayout()) << "every row of the catalogue is as high as the others";

    // Each search after the list was scrolled by hand: from the whole list, to a calculation, ten rows
    // inserted, then ten for ten (changed one by one, not reset).
    for (const char* text : {"App 12", "1+1", "App 28", "App 29"}) {
        SCOPED_TRACE(text);
        scroll()->setValue(scroll()->maximum());
        m_launcher->setSearchText(text);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return field()->text() == QString::fromUtf8(text) && showsTheControllersState(); }, 30000));
        EXPECT_EQ(scroll()->value(), 0) << "new rows show from the first";
        EXPECT_TRUE(list()->arithmeticLayout());
    }
    // Past the last of the ten rows and back, with Shift held on every other key.
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
        for (int step = 0; step < 10; ++step) {
            press(field(), key, step % 2 == 0 ? Qt::NoModifier : Qt::ShiftModifier);
            ASSERT_TRUE(showsTheControllersState()) << "row " << m_launcher->selectedIndex();
        }
        ASSERT_EQ(m_launcher->selectedIndex(), key == Qt::Key_Down ? 9 : 0);
        EXPECT_EQ(scroll()->value() > 0, key == Qt::Key_Down);
    }
    press(field(), Qt::Key_Enter);
    EXPECT_TRUE(m_opened.empty()) << "the keypad's Enter is a key of its own, which does nothing";

    m_launcher->moveSelection(6);
    m_launcher->hideSearchWindow();
    m_launcher->showSearchWindow();
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return list()->model()->rowCount() == 300 && showsTheControllersState(); }, 30000));
    EXPECT_EQ(m_launcher->selectedIndex(), 0);
    EXPECT_EQ(scroll()->value(), 0) << "a show starts at the top of the whole list";
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                      list()->visualRect(list()->model()->index(2, 0)).center());
    EXPECT_EQ(m_opened, std::vector<std::string>{m_root.filePath("Applications/App 002.app").toStdString()});
    EXPECT_FALSE(window().isVisible()) << "activation hides the window";
}

TEST_F(SearchWindowTest, KeysGoToTheOpenSettingsSheetAndReturnOrEscapeEndsItLeavingTheSearchAlone)
{
    press(field(), Qt::Key_Down);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) { // the sheet's Close button; the dialog's key
        button("settingsButton")->click();
        ASSERT_TRUE(QTest::qWaitFor([this] { return sheet() != nullptr; }, 30000));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet(), 30000));
        press(sheet(), Qt::Key_Down);
        press(sheet(), Qt::Key_Up);
        press(sheet(), key);
        EXPECT_TRUE(QTest::qWaitFor([this] { return sheet() == nullptr && !m_launcher->showingSettings(); }, 30000));
        EXPECT_TRUE(window().isVisible()) << "the key ended the sheet, not the search";
    }
    EXPECT_EQ(m_launcher->selectedIndex(), 1) << "the arrows reached the search, or the results were rebuilt";
    EXPECT_TRUE(m_opened.empty());
}

// Typing and Return that arrive in one batch of input (a fast typist, a busy machine): Return acts on the
// results for the text typed, not on the list shown before it.
TEST_F(SearchWindowTest, ReturnRightAfterTypingLaunchesWhatTheTextFinds)
{
    QTest::keyClicks(field(), QStringLiteral("p 237")); // no event-loop turn in between
    press(field(), Qt::Key_Return);
    EXPECT_EQ(m_opened, std::vector<std::string>{m_root.filePath("Applications/App 237.app").toStdString()});
}

TEST_F(SearchWindowTest, TheQuitButtonEndsTheEventLoopAtOnce)
{
    QTimer::singleShot(0, &window(), [this] { button("quitButton")->click(); });
    QTimer::singleShot(30000, &window(), [] { QCoreApplication::exit(7); }); // a watchdog
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

} // namespace
} // namespace kestrel
