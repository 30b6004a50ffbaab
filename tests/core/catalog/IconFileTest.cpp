#include "catalog/IconFile.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

namespace kestrel {
namespace {

using Status = IconFile::Status;
using test::TempTree;

/// Makes the thing to read inside `tree` and returns its path.
using Maker = std::function<std::string(const TempTree&)>;

struct ReadCase {
    const char* what;
    Maker make;
    Status status;
    std::size_t size; // bytes expected when status is ok
};

std::string boundSocket(const TempTree& tree)
{
    const std::string path = tree.path("icon.sock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        throw std::runtime_error("cannot bind a socket in the test tree");
    ::close(fd);
    return path;
}

std::string sizedFile(const TempTree& tree, std::uintmax_t size)
{
    const std::string path = tree.write("icon.png");
    std::filesystem::resize_file(path, size);
    return path;
}

/// A symbolic link `name` to `target`; returns its path.
std::string link(const TempTree& tree, const std::string& target, const std::string& name)
{
    std::filesystem::create_symlink(target, tree.path(name));
    return tree.path(name);
}

TEST(IconFile, ReadsOnlyNonEmptyRegularFilesUpToTheCapAndNeverBlocks)
{
    constexpr std::size_t limit = 1000;
    const ReadCase cases[] = {
        {"a regular file", [](const TempTree& t) { return t.write("a.png", "\x89PNG...."); }, Status::ok, 8},
        {"a file exactly at the cap", [](const TempTree& t) { return sizedFile(t, limit); }, Status::ok, limit},
        {"a symbolic link to a regular file", [](const TempTree& t) { return link(t, t.write("real.svg", "<svg/>"), "l.svg"); },
         Status::ok, 6},
        {"one byte over the cap", [](const TempTree& t) { return sizedFile(t, limit + 1); }, Status::tooLarge, 0},
        {"an empty file", [](const TempTree& t) { return t.write("empty.png"); }, Status::empty, 0},
        {"a missing file", [](const TempTree& t) { return t.path("none.png"); }, Status::missing, 0},
        {"a path through a file", [](const TempTree& t) { return t.write("f", "x") + "/icon.png"; }, Status::missing, 0},
        {"a dangling symbolic link", [](const TempTree& t) { return link(t, t.path("gone.png"), "dangling.png"); },
         Status::missing, 0},
        {"a symbolic link loop",
         [](const TempTree& t) { link(t, t.path("a.png"), "b.png"); return link(t, t.path("b.png"), "a.png"); },
         Status::unreadable, 0},
        {"a FIFO without a writer", [](const TempTree& t) { t.fifo("pipe.png"); return t.path("pipe.png"); },
         Status::notRegular, 0},
        {"a symbolic link to a FIFO", [](const TempTree& t) { t.fifo("pipe"); return link(t, t.path("pipe"), "pipe.svg"); },
         Status::notRegular, 0},
        {"a file without read permission (which binds all but the superuser)",
         [](const TempTree& t) {
             std::filesystem::permissions(t.write("locked.png", "\x89PNG"), std::filesystem::perms::none);
             return t.path("locked.png");
         },
         ::geteuid() == 0 ? Status::ok : Status::unreadable, 4},
        {"a directory", [](const TempTree& t) { return t.dir("folder.png"); }, Status::notRegular, 0},
        {"an endless character device", [](const TempTree&) { return std::string("/dev/zero"); }, Status::notRegular, 0},
        {"a socket", boundSocket, Status::notRegular, 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TempTree tree;
        const std::string path = c.make(tree);
        const auto start = std::chrono::steady_clock::now();
        const IconFile::Contents contents = IconFile::read(path, limit);
        // A blocked open would never come back at all; this only names the fault should a read wait.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(contents.status, c.status);
        EXPECT_EQ(contents.bytes.size(), c.status == Status::ok ? c.size : 0);
    }
    // Without a cap given, the default one applies.
    const TempTree tree;
    EXPECT_EQ(IconFile::read(sizedFile(tree, IconFile::maxBytes + 1)).status, Status::tooLarge);
    EXPECT_EQ(IconFile::read(sizedFile(tree, IconFile::maxBytes)).status, Status::ok);
}

TEST(IconFile, FormatTellsSvgFromRasterData)
{
    using Format = IconFile::Format;
    const struct { const char* path; std::string bytes; Format format; } cases[] = {
        {"/i/a.png", "\x89PNG\r\n\x1a\n", Format::raster}, {"/i/a.svg", "\x89PNG\r\n\x1a\n", Format::raster}, // content wins
        {"/i/a", "<svg xmlns='http://www.w3.org/2000/svg'/>", Format::svg},
        {"/i/a.png", "  \n<?xml version='1.0'?>\n<svg/>", Format::svg}, {"/i/a", "\xEF\xBB\xBF<svg/>", Format::svg}, // BOM
        {"/i/a", "<?xml version='1.0'?><!DOCTYPE svg [<!ENTITY a 'b'>]>", Format::svg},
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
