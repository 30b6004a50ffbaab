#include "catalog/IconFile.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>

namespace kestrel {
namespace {

using Status = IconFile::Status;
namespace fs = std::filesystem;

// A blocking open (of the FIFO without a writer, or the endless device) would hang here, not fail.
TEST(IconFile, ReadsOnlyNonEmptyRegularFilesUpToTheCapAndNeverBlocks)
{
    const test::TempTree t;
    t.write("icon.png", "\x89PNG....");
    fs::resize_file(t.write("at-cap.png"), IconFile::maxBytes);
    fs::resize_file(t.write("over-cap.png"), IconFile::maxBytes + 1);
    t.write("file", "x");
    t.fifo("pipe");
    fs::permissions(t.write("locked.png", "\x89PNG"), fs::perms::none);
    for (const auto& [name, target] : {std::pair{"link.svg", "icon.png"}, {"dangling.png", "gone.png"}, {"loop-a", "loop-b"},
                                       {"loop-b", "loop-a"}, {"pipe.svg", "pipe"}})
        fs::create_symlink(t.path(target), t.path(name));
    const struct { std::string path; Status status; std::size_t size; } cases[] = {
        {t.path("icon.png"), Status::ok, 8}, {t.path("at-cap.png"), Status::ok, IconFile::maxBytes},
        {t.path("link.svg"), Status::ok, 8}, {t.path("over-cap.png"), Status::tooLarge, 0},
        {t.write("empty.png"), Status::empty, 0}, {t.path("none.png"), Status::missing, 0},
        {t.path("file/icon.png"), Status::missing, 0}, {t.path("dangling.png"), Status::missing, 0},
        {t.path("loop-a"), Status::unreadable, 0}, {t.path("pipe"), Status::notRegular, 0},
        {t.path("pipe.svg"), Status::notRegular, 0}, {t.dir("folder.png"), Status::notRegular, 0},
        {"/dev/zero", Status::notRegular, 0},
        // Without read permission, which binds all but the superuser.
        {t.path("locked.png"), ::geteuid() == 0 ? Status::ok : Status::unreadable, 4},
    };
    for (const auto& c : cases) {
        const IconFile::Contents contents = IconFile::read(c.path);
        EXPECT_EQ(contents.status, c.status) << c.path;
        EXPECT_EQ(contents.bytes.size(), c.status == Status::ok ? c.size : 0) << c.path;
    }
}

TEST(IconFile, FormatTellsSvgFromRasterData)
{
    using Format = IconFile::Format;
    const struct { const char* path; std::string bytes; Format format; } cases[] = {
        {"/i/a.png", "\x89PNG\r\n\x1a\n", Format::raster}, {"/i/a.svg", "\x89PNG\r\n\x1a\n", Format::raster}, // content wins
        {"/i/a.png", "  \n<?xml version='1.0'?>\n<svg/>", Format::svg}, {"/i/a", "\xEF\xBB\xBF<svg/>", Format::svg}, // BOM
        {"/i/a.SVG", "<?xml version='1.0'?><!-- a long comment -->", Format::svg},
        {"/i/a.xml", "<?xml version='1.0'?><icon/>", Format::raster}, {"/i/a.svgz", "\x1f\x8b\x08", Format::svg},
        {"/i/a.gz", "\x1f\x8b\x08", Format::raster}, {"/i/a.xpm", "/* XPM */\nstatic char* a[] = {", Format::raster},
        {"/i/a.svg", "   ", Format::svg},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IconFile::format(c.path, c.bytes), c.format) << c.path << " " << c.bytes;
}

} // namespace
} // namespace kestrel
