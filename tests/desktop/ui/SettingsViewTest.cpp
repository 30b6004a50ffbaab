#include "ui/SettingsView.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(SettingsViewPlacement, HangsCentredFromTheWindowsTopEdgeInsideTheScreen)
{
    const QRect screen(0, 0, 1280, 1024);
    const QRect window(340, 312, 600, 400);
    const struct {
        const char* what;
        QRect window;
        QRect available;
        QPoint expected;
    } cases[] = {
        {"centred on the window, top on its top", window, screen, {414, 312}},
        {"a screen to the right: same offset from the window",
         window.translated(1280, 0),
         screen.translated(1280, 0),
         {1694, 312}},
        {"beside a panel", QRect(540, 312, 600, 400), QRect(400, 0, 880, 1024), {614, 312}},
        {"too low: lifted so its bottom stays on the screen", QRect(340, 600, 600, 400), screen, {414, 424}},
        {"too far left: moved to the screen's left edge", QRect(-200, 0, 600, 400), screen, {0, 0}},
        {"too far right: moved to the screen's right edge", QRect(1000, 0, 600, 400), screen, {830, 0}},
        {"a screen smaller than the sheet: its top-left corner",
         QRect(0, 0, 300, 200),
         QRect(10, 20, 300, 400),
         {10, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QPoint at = SettingsView::sheetPosition(c.window, c.available);
        EXPECT_EQ(at.x(), c.expected.x());
        EXPECT_EQ(at.y(), c.expected.y());
    }
}

} // namespace
} // namespace kestrel
