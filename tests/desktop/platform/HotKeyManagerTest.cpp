#include "desktop/HotKeyManager.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

TEST(HotKeyManager, RepeatFilterCountsPhysicalPressesOnly)
{
    // The key's presses (P: a physical one, p: a repeat) and releases (r), each at its X time stamp: a
    // classic repeat is a release and a press sharing a time, a detectable one a press without a release.
    // The first press comes at time 0, the time no release has had yet.
    HotKeyManager::RepeatFilter filter;
    for (const std::string event : {"P0", "r600", "p600", "r633", "p633", "p650", "r700", "P900", "r950", "P960"}) {
        const auto time = static_cast<std::uint32_t>(std::stoul(event.substr(1)));
        if (event[0] == 'r')
            filter.release(time);
        else
            EXPECT_EQ(filter.press(time), event[0] == 'P') << event;
    }
}

} // namespace
} // namespace kestrel
