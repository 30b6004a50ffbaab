#include "catalog/IconTheme.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

using test::TempTree;

/// Two base folders, a user theme inheriting from a parent (and a cycle back), hicolor split over both
/// bases, and a pixmaps folder.
class IconThemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        t.write("base1/hicolor/index.theme",
                "[Icon Theme]\nName=Hicolor\nDirectories=16x16/apps,32x32/apps,64x64/apps,scalable/apps,2x/apps\n"
                "[16x16/apps]\nSize=16\nType=Fixed\n[32x32/apps]\nSize=32\nType=Fixed\n"
                "[64x64/apps]\nSize=64\nType=Fixed\n"
                "[scalable/apps]\nSize=128\nType=Scalable\nMinSize=8\nMaxSize=512\n"
                "[2x/apps]\nSize=32\nScale=2\nType=Fixed\n");
        for (const char* icon : {"32x32/apps/exact.png", "16x16/apps/small-or-big.png", "64x64/apps/small-or-big.png",
                                 "64x64/apps/only-big.png", "scalable/apps/vector.svg", "2x/apps/vector.png", "32x32/apps/both.png"})
            t.write(std::string("base1/hicolor/") + icon, "i");
        t.write("base2/hicolor/32x32/apps/second-base.png", "p");
        t.fifo("base1/hicolor/32x32/apps/pipe.png");
        t.write("base2/hicolor/32x32/apps/pipe.png", "p");

        t.write("base2/Mine/index.theme", "[Icon Theme]\nName=Mine\nInherits=Parent\nDirectories=apps\n"
                                          "[apps]\nSize=32\n");
        t.write("base2/Mine/apps/both.svg", "s");
        t.write("base1/Parent/index.theme", "[Icon Theme]\nName=Parent\nInherits=Mine,hicolor\nDirectories=a\n"
                                            "[a]\nSize=48\nType=Threshold\nThreshold=20\n");
        t.write("base1/Parent/a/inherited.png", "p");
        t.write("base1/NoIndex/32x32/apps/exact.png", "p");
        t.write("pixmaps/loose.xpm", "x");
    }

    std::string find(const std::string& theme, const std::string& name, int size = 32)
    {
        IconTheme lookup({t.path("base1"), t.path("base2")}, theme, {t.path("pixmaps")});
        const std::string found = lookup.find(name, size);
        return found.rfind(t.root(), 0) == 0 ? found.substr(t.root().size() + 1) : found;
    }

    TempTree t;
};

TEST_F(IconThemeTest, FindsIconsBySizeThemeInheritanceAndFallback)
{
    const struct { const char* theme; const char* name; int size; const char* expected; } cases[] = {
        {"", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
        {"hicolor", "exact.png", 32, "base1/hicolor/32x32/apps/exact.png"},  // written with its extension
        {"", "small-or-big", 24, "base1/hicolor/16x16/apps/small-or-big.png"},  // closest: 8 below vs 40 above
        {"", "small-or-big", 64, "base1/hicolor/64x64/apps/small-or-big.png"},
        {"", "only-big", 32, "base1/hicolor/64x64/apps/only-big.png"},
        {"", "vector", 32, "base1/hicolor/scalable/apps/vector.svg"},  // scalable beats a 2x directory
        {"", "second-base", 32, "base2/hicolor/32x32/apps/second-base.png"},
        {"", "pipe", 32, "base2/hicolor/32x32/apps/pipe.png"},  // a FIFO is no icon file
        {"", "both", 32, "base1/hicolor/32x32/apps/both.png"},
        {"Mine", "both", 32, "base2/Mine/apps/both.svg"},       // the chosen theme before hicolor
        {"Mine", "inherited", 32, "base1/Parent/a/inherited.png"},  // through Inherits, despite its cycle
        {"Mine", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
        {"NoIndex", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},  // no index.theme: not a theme
        {"", "loose", 32, "pixmaps/loose.xpm"}, {"", "nowhere", 32, ""}, {"", "../hicolor/32x32/apps/exact", 32, ""},
        {"", "", 32, ""}, {"../base1/hicolor", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.theme) + " / " + c.name + " @" + std::to_string(c.size));
        EXPECT_EQ(find(c.theme, c.name, c.size), c.expected);
    }
}

TEST_F(IconThemeTest, ReadsEachThemeDescriptionOnce)
{
    IconTheme lookup({t.path("base1"), t.path("base2")}, "Mine", {});
    EXPECT_EQ(lookup.find("exact", 32), t.path("base1/hicolor/32x32/apps/exact.png"));
    // A description replaced later is not read again: the lookup keeps what it read first.
    t.write("base1/hicolor/index.theme", "[Icon Theme]\nDirectories=\n");
    EXPECT_EQ(lookup.find("only-big", 32), t.path("base1/hicolor/64x64/apps/only-big.png"));
}

} // namespace
} // namespace kestrel
