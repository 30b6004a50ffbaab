#include "desktop/HotKeyManager.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrel {
namespace {

TEST(HotKeyManager, RepeatFilterCountsPhysicalPressesOnly)
{
    // The key's presses (p) and releases (r), each at its X time stamp.
    const struct {
        const char* name;
        const char* events;
        int presses;
    } cases[] = {
        {"classic repeat: release and press sharing a time", "p100 r600 p600 r633 p633", 1},
        {"detectable repeat: presses without releases", "p100 p600 p633 r700", 1},
        {"two presses", "p100 r150 p400 r450", 2},
    };
    for (const auto& c : cases) {
        HotKeyManager::RepeatFilter filter;
        std::istringstream events(c.events);
        char kind = 0;
        std::uint32_t time = 0;
        int presses = 0;
        while (events >> kind >> time) {
            if (kind == 'r')
                filter.release(time);
            else if (filter.press(time))
                ++presses;
        }
        EXPECT_EQ(presses, c.presses) << c.name;
    }
}

} // namespace
} // namespace kestrel
