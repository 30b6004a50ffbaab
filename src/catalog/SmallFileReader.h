#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kestrel {

/// Reads whole configuration-sized files (Info.plist, desktop entries) for the catalogue scan.
class SmallFileReader {
public:
    /// The bytes of the regular file at `path` (symbolic links followed), or nothing when it is missing,
    /// unreadable, not a regular file (a directory, a FIFO, a device: never blocks on them) or larger than
    /// `maxBytes`. Never throws for I/O failures.
    static std::optional<std::string> read(const std::string& path, std::size_t maxBytes);
    /// Reads up to `size` bytes from the open file `fd` (retrying interrupted reads); a file that shrank
    /// meanwhile gives the bytes up to its end. Nothing on a read error. Does not close `fd`.
    static std::optional<std::string> readOpened(int fd, std::size_t size);
};

} // namespace kestrel
