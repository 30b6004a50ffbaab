#include "desktop/SearchWindow.h"

#include "PlatformFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kestrel {
namespace {

struct PlacementRow {
    const char* name;
    QRect available;
    QSize size;
    QPoint expected;
};

TEST(SearchWindowPlacement, CentresInTheAvailableAreaAndStaysInside)
{
    const QSize window(600, 400);
    const std::vector<PlacementRow> rows{
        {"plain screen", QRect(0, 0, 1280, 800), window, QPoint(340, 200)},
        {"panel at the top", QRect(0, 30, 1280, 770), window, QPoint(340, 215)},
        {"second screen to the right", QRect(1280, 0, 1920, 1080), window, QPoint(1940, 340)},
        {"screen left of the origin", QRect(-1920, 0, 1920, 1080), window, QPoint(-1260, 340)},
        {"screen above the origin", QRect(0, -1080, 1920, 1080), window, QPoint(660, -740)},
        {"odd leftover", QRect(0, 0, 1281, 801), window, QPoint(340, 200)},
        {"exactly the window", QRect(10, 20, 600, 400), window, QPoint(10, 20)},
        {"narrower than the window", QRect(100, 0, 500, 800), window, QPoint(100, 200)},
        {"lower than the window", QRect(0, 50, 1280, 300), window, QPoint(340, 50)},
        {"smaller both ways", QRect(-300, -200, 320, 240), window, QPoint(-300, -200)},
    };
    for (const PlacementRow& row : rows) {
        EXPECT_EQ(SearchWindow::centredPosition(row.available, row.size), row.expected) << row.name;
    }
}

/// A launcher whose window is a real SearchWindow.
class SearchWindowTest : public ::testing::Test {
protected:
    SearchWindowTest()
        : harness([this](AppLauncher& launcher) {
            auto made = std::make_unique<SearchWindow>(launcher);
            window = made.get();
            return made;
        })
    {
    }

    test::LauncherHarness harness;
    SearchWindow* window = nullptr;
};

TEST_F(SearchWindowTest, WithoutACompositorTheShapeIsTheRoundedPanel)
{
    harness.launcher().showSearchWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(window->isTranslucent()); // the offscreen platform has no compositor
    const QRegion mask = window->mask();
    const QRect panel = window->panelGeometry();
    ASSERT_FALSE(mask.isEmpty());

    EXPECT_TRUE(mask.contains(panel.center()));
    // Inside the panel's edges, away from the corners.
    EXPECT_TRUE(mask.contains(QPoint(panel.center().x(), panel.top())));
    EXPECT_TRUE(mask.contains(QPoint(panel.left(), panel.center().y())));
    EXPECT_TRUE(mask.contains(QPoint(panel.right() - 1, panel.center().y())));
    // The four corners are cut, so nothing square (or black) shows there.
    for (const QPoint corner : {panel.topLeft(), panel.topRight(), panel.bottomLeft(), panel.bottomRight()})
        EXPECT_FALSE(mask.contains(corner)) << corner.x() << "," << corner.y();
    // Below a panel shorter than the window nothing of the window shows either.
    if (panel.bottom() < window->height() - 2) {
        EXPECT_FALSE(mask.contains(QPoint(panel.center().x(), window->height() - 1)));
    }
}

TEST_F(SearchWindowTest, AWindowManagerCloseHidesThroughTheLauncher)
{
    harness.launcher().showSearchWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(harness.launcher().isSearchVisible());

    window->close();

    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(harness.launcher().isSearchVisible());
    // The next toggle shows the same window again rather than hiding an invisible one.
    SearchWindow* first = window;
    harness.launcher().toggleSearchWindow();
    EXPECT_EQ(window, first);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(SearchWindowTest, RepeatedShowsKeepOneKeyMonitor)
{
    AppLauncher& launcher = harness.launcher();
    for (int i = 0; i < 3; ++i) {
        launcher.showSearchWindow();
        launcher.hideSearchWindow();
    }
    launcher.showSearchWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_EQ(launcher.selectedIndex(), 0);

    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Down);

    EXPECT_EQ(launcher.selectedIndex(), 1);
}

} // namespace
} // namespace kestrel
