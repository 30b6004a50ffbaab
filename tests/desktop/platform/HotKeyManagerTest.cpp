#include "desktop/HotKeyManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

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

TEST(HotKeyManager, EveryFallbackIsOneLineEndingInTheAdvice)
{
    const std::string advice = HotKeyManager::fallbackAdvice();
    struct Case {
        std::string portal, x11;
        std::vector<std::string> mentions; // besides the advice
    };
    const Case cases[] = {
        {"", "Ctrl+Space is already taken by another program", {"already taken", "no hot key"}},
        {"the portal did not answer", "", {"the portal did not answer", "only while an X11 window has the focus"}},
        {"the desktop declined the shortcut", "could not register Ctrl+Space (X error 2)",
         {"the desktop declined the shortcut", "X error 2", "no hot key"}},
    };
    for (const Case& c : cases) {
        const std::string line = HotKeyManager::fallbackMessage(c.portal, c.x11);
        EXPECT_EQ(line.rfind("kestrelpoint: ", 0), 0u) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        ASSERT_GE(line.size(), advice.size());
        EXPECT_EQ(line.substr(line.size() - advice.size()), advice) << line;
        EXPECT_EQ(line.find(advice), line.size() - advice.size()) << "the advice twice: " << line;
        for (const std::string& mention : c.mentions)
            EXPECT_NE(line.find(mention), std::string::npos) << mention << " missing from: " << line;
    }
    EXPECT_EQ(HotKeyManager::fallbackMessage("", ""), "") << "a key that works needs no line";
    EXPECT_EQ(HotKeyManager::conflictMessage(), HotKeyManager::fallbackMessage("", cases[0].x11));
    EXPECT_NE(advice.find("`kestrelpoint`"), std::string::npos);
}

} // namespace
} // namespace kestrel
