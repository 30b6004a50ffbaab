#include "desktop/HotKeyManager.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace kestrel {
namespace {

TEST(HotKeyManager, RepeatFilterCountsPhysicalPressesOnly)
{
    const struct {
        const char* name;
        std::vector<std::pair<bool, std::uint32_t>> events; // press or release, at a time
        int presses;
    } cases[] = {
        {"classic repeat: release and press sharing a time",
         {{true, 100}, {false, 600}, {true, 600}, {false, 633}, {true, 633}},
         1},
        {"detectable repeat: presses without releases", {{true, 100}, {true, 600}, {true, 633}, {false, 700}}, 1},
        {"two presses", {{true, 100}, {false, 150}, {true, 400}, {false, 450}}, 2},
        {"a press after a held key", {{true, 100}, {false, 600}, {true, 600}, {false, 700}, {true, 900}}, 2},
    };
    for (const auto& c : cases) {
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
