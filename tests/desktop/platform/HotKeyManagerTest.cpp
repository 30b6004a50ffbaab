#include "desktop/HotKeyManager.h"

#include "PlatformFixture.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace kestrel {
namespace {

constexpr std::uint16_t control = 1u << 2;
constexpr std::uint16_t lock = 1u << 1;
constexpr std::uint16_t mod2 = 1u << 4;
constexpr std::uint16_t mod3 = 1u << 5;

struct MaskRow {
    const char* name;
    std::uint16_t numLock;
    std::vector<std::uint16_t> expected;
};

TEST(HotKeyGrab, CoversEveryNumLockAndCapsLockCombination)
{
    const std::vector<MaskRow> rows{
        {"NumLock on Mod2", mod2, {control, control | lock, control | mod2, control | mod2 | lock}},
        {"NumLock on Mod3", mod3, {control, control | lock, control | mod3, control | mod3 | lock}},
        {"no NumLock key", 0, {control, control | lock}},
        {"NumLock sharing the Lock bit", lock, {control, control | lock}},
    };
    for (const MaskRow& row : rows) {
        const std::vector<std::uint16_t> masks = HotKeyManager::grabModifierMasks(row.numLock);
        EXPECT_EQ(masks, row.expected) << row.name;
        EXPECT_EQ(std::set<std::uint16_t>(masks.begin(), masks.end()).size(), masks.size()) << row.name;
    }
}

struct KeyEvent {
    bool press;
    std::uint32_t time;
};

struct RepeatRow {
    const char* name;
    std::vector<KeyEvent> events;
    int expectedPresses;
};

TEST(HotKeyRepeat, CountsPhysicalPressesOnly)
{
    const std::vector<RepeatRow> rows{
        {"one press", {{true, 100}, {false, 180}}, 1},
        {"classic auto-repeat: release and press share the time",
         {{true, 100}, {false, 600}, {true, 600}, {false, 633}, {true, 633}, {false, 700}},
         1},
        {"detectable auto-repeat: presses without releases", {{true, 100}, {true, 600}, {true, 633}, {false, 700}}, 1},
        {"two presses", {{true, 100}, {false, 150}, {true, 400}, {false, 450}}, 2},
        {"a press after a held key", {{true, 100}, {false, 600}, {true, 600}, {false, 700}, {true, 900}}, 2},
        {"press before any release", {{true, 0}}, 1},
        {"time stamps wrapping around", {{true, 0xfffffff0u}, {false, 0xfffffffau}, {true, 5}}, 2},
    };
    for (const RepeatRow& row : rows) {
        HotKeyManager::RepeatFilter filter;
        int presses = 0;
        for (const KeyEvent& event : row.events) {
            if (!event.press)
                filter.release(event.time);
            else if (filter.press(event.time))
                ++presses;
        }
        EXPECT_EQ(presses, row.expectedPresses) << row.name;
    }
}

TEST(HotKeyManagerOffX11, SaysInOneLineThatThereIsNoHotKeyAndHowToToggle)
{
    if (QGuiApplication::platformName() == QStringLiteral("xcb"))
        GTEST_SKIP() << "runs on a platform without a hot key backend";
    int calls = 0;
    std::string output;
    {
        HotKeyManager manager;
        ::testing::internal::CaptureStderr();
        manager.registerHotKey([&calls] { ++calls; });
        output = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(manager.isRegistered());
        EXPECT_EQ(manager.lastPressTime(), 0u);
        test::processEventsUntil([] { return false; }, 50);
    }
    EXPECT_EQ(calls, 0);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_EQ(output.back(), '\n');
    EXPECT_NE(output.find(QGuiApplication::platformName().toStdString()), std::string::npos) << output;
    EXPECT_NE(output.find("run `kestrelpoint` again"), std::string::npos) << output;
}

} // namespace
} // namespace kestrel
