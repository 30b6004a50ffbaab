#include "catalog/IconFile.h"

#include "catalog/OwnedHandles.h"
#include "catalog/SmallFileReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

namespace {

IconFile::Status statusOfErrno(int error)
{
    return error == ENOENT || error == ENOTDIR ? IconFile::Status::missing : IconFile::Status::unreadable;
}

/// Checks what `status` describes; `ok` when it is a regular file of 1 to `limit` bytes.
IconFile::Status check(const struct stat& status, std::size_t limit)
{
    if (!S_ISREG(status.st_mode))
        return IconFile::Status::notRegular;
    if (status.st_size <= 0)
        return IconFile::Status::empty;
    if (static_cast<unsigned long long>(status.st_size) > limit)
        return IconFile::Status::tooLarge;
    return IconFile::Status::ok;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char wanted, char c) { return std::tolower(static_cast<unsigned char>(c)) == wanted; });
}

} // namespace

IconFile::Contents IconFile::read(const std::string& path, std::size_t limit)
{
    // why: stat before open, so that a device is never opened at all (opening some has side effects) and
    // a FIFO is refused before anything could wait for a writer.
    struct stat before { };
    if (::stat(path.c_str(), &before) != 0)
        return {statusOfErrno(errno), {}};
    if (const Status status = check(before, limit); status != Status::ok)
        return {status, {}};

    // why: O_NONBLOCK as well, because the path may have been replaced by a FIFO since the stat.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0)
        return {statusOfErrno(errno), {}};
    struct stat opened { };
    if (::fstat(file.get(), &opened) != 0)
        return {Status::unreadable, {}};
    if (const Status status = check(opened, limit); status != Status::ok)
        return {status, {}};

    std::optional<std::string> bytes =
        SmallFileReader::readOpened(file.get(), static_cast<std::size_t>(opened.st_size));
    if (!bytes)
        return {Status::unreadable, {}};
    if (bytes->empty())
        return {Status::empty, {}};
    return {Status::ok, std::move(*bytes)};
}

IconFile::Format IconFile::format(const std::string& path, const std::string& bytes)
{
    std::string_view head(bytes.data(), std::min<std::size_t>(bytes.size(), 1024));
    if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0x1f && static_cast<unsigned char>(head[1]) == 0x8b)
        return endsWith(path, ".svgz") ? Format::svg : Format::raster;
    if (head.substr(0, 3) == "\xEF\xBB\xBF")
        head.remove_prefix(3);
    const std::size_t text = head.find_first_not_of(" \t\r\n");
    if (text == std::string_view::npos)
        return endsWith(path, ".svg") ? Format::svg : Format::raster;
    head.remove_prefix(text);
    if (head.front() != '<')
        return Format::raster;
    // XML: SVG when it says so early (a root element or a doctype naming svg), or by the file's name.
    return head.find("svg") != std::string_view::npos || endsWith(path, ".svg") ? Format::svg : Format::raster;
}

} // namespace kestrel
