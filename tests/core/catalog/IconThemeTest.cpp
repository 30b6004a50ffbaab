#include "catalog/IconTheme.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

// Two base folders, a user theme inheriting from a parent (and a cycle back), hicolor split over both
// bases, and a pixmaps folder.
TEST(IconTheme, FindsIconsBySizeThemeInheritanceAndFallback)
{
    const test::TempTree t;
    t.write("base1/hicolor/index.theme",
            "[Icon Theme]\nDirectories=16x16/apps,32x32/apps,64x64/apps,scalable/apps,2x/apps\n"
            "[16x16/apps]\nSize=16\nType=Fixed\n[32x32/apps]\nSize=32\nType=Fixed\n[64x64/apps]\nSize=64\nType=Fixed\n"
            "[scalable/apps]\nSize=128\nType=Scalable\nMinSize=8\nMaxSize=512\n[2x/apps]\nSize=32\nScale=2\nType=Fixed\n");
    t.write("base2/Mine/index.theme", "[Icon Theme]\nInherits=Parent\nDirectories=apps\n[apps]\nSize=32\n");
    t.write("base1/Parent/index.theme", "[Icon Theme]\nInherits=Mine,hicolor\nDirectories=a\n"
                                        "[a]\nSize=48\nType=Threshold\nThreshold=20\n");
    for (const char* icon : {"hicolor/32x32/apps/exact.png", "hicolor/16x16/apps/small-or-big.png",
                             "hicolor/64x64/apps/small-or-big.png", "hicolor/scalable/apps/vector.svg",
                             "hicolor/2x/apps/vector.png", "hicolor/32x32/apps/both.png", "Parent/a/inherited.png",
                             "NoIndex/32x32/apps/exact.png"})
        t.write(std::string("base1/") + icon, "i");
    t.fifo("base1/hicolor/32x32/apps/pipe.png");
    t.write("base2/hicolor/32x32/apps/pipe.png", "p");
    t.write("base2/Mine/apps/both.svg", "s");
    t.write("pixmaps/loose.xpm", "x");

    const struct { const char* theme; const char* name; int size; const char* expected; } cases[] = {
        {"", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
        {"hicolor", "exact.png", 32, "base1/hicolor/32x32/apps/exact.png"},  // written with its extension
        {"", "small-or-big", 24, "base1/hicolor/16x16/apps/small-or-big.png"},  // closest: 8 below vs 40 above
        {"", "vector", 32, "base1/hicolor/scalable/apps/vector.svg"},  // scalable beats a 2x directory
        {"", "pipe", 32, "base2/hicolor/32x32/apps/pipe.png"},  // a FIFO is no icon file; the second base has one
        {"Mine", "both", 32, "base2/Mine/apps/both.svg"},       // the chosen theme before hicolor
        {"Mine", "inherited", 32, "base1/Parent/a/inherited.png"},  // through Inherits, despite its cycle
        {"NoIndex", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},  // no index.theme: not a theme
        {"", "loose", 32, "pixmaps/loose.xpm"}, {"", "nowhere", 32, ""}, {"", "../hicolor/32x32/apps/exact", 32, ""},
        {"", "", 32, ""}, {"../base1/hicolor", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
    };
    for (const auto& c : cases) {
        IconTheme lookup({t.path("base1"), t.path("base2")}, c.theme, {t.path("pixmaps")});
        const std::string found = lookup.find(c.name, c.size);
        EXPECT_EQ(found.rfind(t.root(), 0) == 0 ? found.substr(t.root().size() + 1) : found, c.expected)
            << c.theme << " / " << c.name << " @" << c.size;
    }
}

} // namespace
} // namespace kestrel
