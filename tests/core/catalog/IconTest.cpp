#include "catalog/IconFile.h"
#include "catalog/IconTheme.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace kestrel {
namespace {

using Status = IconFile::Status;
namespace fs = std::filesystem;

// A blocking open (of the FIFO without a writer, or the endless device) would hang here, not fail. Only "ok"
// is read by the icon loader; links that loop, folders and unreadable files are the end-to-end icon scenario's.
TEST(IconFile, ReadsOnlyNonEmptyRegularFilesUpToTheCapAndNeverBlocks)
{
    const test::TempTree t;
    t.write("icon.png", "\x89PNG....");
    fs::resize_file(t.write("at-cap.png"), IconFile::maxBytes);
    fs::resize_file(t.write("over-cap.png"), IconFile::maxBytes + 1);
    ASSERT_EQ(::mkfifo(t.path("pipe").c_str(), 0644), 0);
    fs::create_symlink(t.path("icon.png"), t.path("link.svg"));
    fs::create_symlink(t.path("gone.png"), t.path("dangling.png"));
    // clang-format off
    const struct { std::string path; Status status; std::size_t size; } cases[] = {
        {t.path("icon.png"), Status::ok, 8}, {t.path("at-cap.png"), Status::ok, IconFile::maxBytes},
        {t.path("link.svg"), Status::ok, 8}, {t.path("over-cap.png"), Status::tooLarge, 0},
        {t.write("empty.png"), Status::empty, 0}, {t.path("dangling.png"), Status::missing, 0},
        {t.path("pipe"), Status::notRegular, 0}, {"/dev/zero", Status::notRegular, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        const IconFile::Contents contents = IconFile::read(c.path);
        EXPECT_EQ(contents.status, c.status) << c.path;
        EXPECT_EQ(contents.bytes.size(), c.size) << c.path;
    }
}

TEST(IconFile, FormatTellsSvgFromRasterData)
{
    using Format = IconFile::Format;
    // clang-format off
    const struct { const char* path; std::string bytes; Format format; } cases[] = {
        {"/i/a.svg", "\x89PNG\r\n\x1a\n", Format::raster}, {"/i/a", "\xEF\xBB\xBF<svg/>", Format::svg}, // content wins; BOM
        {"/i/a.png", " \n<?xml?>\n<svg/>", Format::svg}, {"/i/a.xml", "<?xml version='1.0'?><icon/>", Format::raster},
        {"/i/a.SVG", "<?xml version='1.0'?><!-- -->", Format::svg}, {"/i/a.svgz", "\x1f\x8b\x08", Format::svg},
        {"/i/a.gz", "\x1f\x8b\x08", Format::raster}, {"/i/a.svg", "   ", Format::svg},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(IconFile::format(c.path, c.bytes), c.format) << c.path << " " << c.bytes;
}

// Two base folders, a user theme inheriting from a parent (and a cycle back), hicolor split over both
// bases, and a pixmaps folder.
TEST(IconTheme, FindsIconsBySizeThemeInheritanceAndFallback)
{
    const test::TempTree t;
    t.write(
        "base1/hicolor/index.theme",
        "[Icon Theme]\nDirectories=16x16/apps,32x32/apps,64x64/apps,scalable/apps,2x/apps\n"
        "[16x16/apps]\nSize=16\nType=Fixed\n[32x32/apps]\nSize=32\nType=Fixed\n[64x64/apps]\nSize=64\nType=Fixed\n"
        "[scalable/apps]\nSize=128\nType=Scalable\nMinSize=8\nMaxSize=512\n[2x/apps]\nSize=32\nScale=2\nType=Fixed\n");
    t.write("base2/Mine/index.theme", "[Icon Theme]\nInherits=Parent\nDirectories=apps\n[apps]\nSize=32\n");
    t.write("base1/Parent/index.theme", "[Icon Theme]\nInherits=Mine,hicolor\nDirectories=a\n"
                                        "[a]\nSize=48\nType=Threshold\nThreshold=20\n");
    for (const char* icon : {"base1/hicolor/32x32/apps/exact.png", "base1/hicolor/16x16/apps/small-or-big.png",
                             "base1/hicolor/64x64/apps/small-or-big.png", "base1/hicolor/scalable/apps/vector.svg",
                             "base1/hicolor/2x/apps/vector.png", "base1/hicolor/32x32/apps/both.png",
                             "base1/Parent/a/inherited.png", "base1/NoIndex/32x32/apps/exact.png",
                             "base2/hicolor/32x32/apps/pipe.png", "base2/Mine/apps/both.svg", "pixmaps/loose.xpm"})
        t.write(icon, "i");
    ASSERT_EQ(::mkfifo(t.path("base1/hicolor/32x32/apps/pipe.png").c_str(), 0644), 0);

    // clang-format off
    const struct { const char* theme; const char* name; int size; const char* expected; } cases[] = {
        {"", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
        {"hicolor", "exact.png", 32, "base1/hicolor/32x32/apps/exact.png"},  // written with its extension
        {"", "small-or-big", 24, "base1/hicolor/16x16/apps/small-or-big.png"},  // closest: 8 below vs 40 above
        {"", "vector", 32, "base1/hicolor/scalable/apps/vector.svg"},  // scalable beats a 2x directory
        {"", "pipe", 32, "base2/hicolor/32x32/apps/pipe.png"},  // a FIFO is no icon file; the second base has one
        {"Mine", "both", 32, "base2/Mine/apps/both.svg"},       // the chosen theme before hicolor
        {"Mine", "inherited", 32, "base1/Parent/a/inherited.png"},  // through Inherits, despite its cycle
        {"NoIndex", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},  // no index.theme: not a theme
        {"", "loose", 32, "pixmaps/loose.xpm"}, {"", "nowhere", 32, ""}, {"", "../../16x16/apps/small-or-big", 32, ""},
        {"", "", 32, ""}, {"../base1/hicolor", "exact", 32, "base1/hicolor/32x32/apps/exact.png"},
    };
    // clang-format on
    for (const auto& c : cases) {
        IconTheme lookup({t.path("base1"), t.path("base2")}, c.theme, {t.path("pixmaps")});
        const std::string found = lookup.find(c.name, c.size);
        EXPECT_EQ(found.rfind(t.root(), 0) == 0 ? found.substr(t.root().size() + 1) : found, c.expected)
            << c.theme << " / " << c.name << " @" << c.size;
    }
}

} // namespace
} // namespace kestrel
