#include "desktop/HotKeyManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrel {
namespace {

TEST(HotKeyManager, GrabsControlWithEveryNumLockAndCapsLockCombination)
{
    constexpr std::uint16_t control = 1u << 2, lock = 1u << 1, mod2 = 1u << 4, mod3 = 1u << 5;
    struct Case {
        std::uint16_t numLock;
        std::vector<std::uint16_t> expected;
    };
    const Case cases[] = {
        {mod2, {control, control | lock, control | mod2, control | mod2 | lock}},
        {mod3, {control, control | lock, control | mod3, control | mod3 | lock}},
        {0, {control, control | lock}},    // no NumLock key
        {lock, {control, control | lock}}, // NumLock sharing the Lock bit
    };
    for (const Case& c : cases)
        EXPECT_EQ(HotKeyManager::grabModifierMasks(c.numLock), c.expected) << "NumLock mask " << c.numLock;
}

TEST(HotKeyManager, RepeatFilterCountsPhysicalPressesOnly)
{
    struct Case {
        const char* name;
        std::vector<std::pair<bool, std::uint32_t>> events; // press or release, at a time
        int presses;
    };
    const Case cases[] = {
        {"release and press sharing a time", {{true, 100}, {false, 600}, {true, 600}, {false, 633}, {true, 633}}, 1},
        {"presses without releases", {{true, 100}, {true, 600}, {true, 633}, {false, 700}}, 1},
        {"two presses", {{true, 100}, {false, 150}, {true, 400}, {false, 450}}, 2},
        {"a press after a held key", {{true, 100}, {false, 600}, {true, 600}, {false, 700}, {true, 900}}, 2},
        {"time stamps wrapping around", {{true, 0xfffffff0u}, {false, 0xfffffffau}, {true, 5}}, 2},
    };
    for (const Case& c : cases) {
        HotKeyManager::RepeatFilter filter;
        int presses = 0;
        for (const auto& [press, time] : c.events) {
            if (!press)
                filter.release(time);
            else if (filter.press(time))
                ++presses;
        }
        EXPECT_EQ(presses, c.presses) << c.name;
    }
}

} // namespace
} // namespace kestrel
