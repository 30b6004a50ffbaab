#pragma once

#include <cstddef>
#include <string>

namespace kestrel {

/// Reads the bytes of an image file named by a catalogue entry's icon, refusing anything that could stall
/// or flood the reader: only regular files are opened (symbolic links are followed; a loop is refused),
/// never a FIFO, a device, a socket or a directory, and never a file larger than the cap. No Qt; safe to
/// call from any thread.
class IconFile {
public:
    /// The largest icon file read, in bytes (8 MiB: the biggest scalable application icons are a few MiB).
    static constexpr std::size_t maxBytes = 8 * 1024 * 1024;

    /// Why a read gave no bytes.
    enum class Status {
        ok,
        missing,    ///< no such file, or a dangling symbolic link
        notRegular, ///< a directory, FIFO, device or socket (never opened when seen before the open)
        unreadable, ///< permission denied, a symbolic link loop, an I/O error
        empty,      ///< zero bytes
        tooLarge,   ///< more than the cap
    };

    /// What a read found.
    struct Contents {
        Status status = Status::missing;
        /// The file's bytes when `status` is `ok`, else empty.
        std::string bytes;
    };

    /// What the bytes of an icon file hold, as far as the decoder needs to know.
    enum class Format {
        svg,    ///< SVG, plain or gzip-compressed (by content, or by a .svg/.svgz name)
        raster, ///< anything else: left to the image decoders to recognise
    };

    /// Reads the file at `path` (absolute) when it is a regular file of 1 to `limit` bytes. A file that
    /// shrinks while it is read gives the bytes read up to its end; one that grows, its size when it was
    /// opened. Never blocks on a FIFO or device and never throws for I/O failures.
    static Contents read(const std::string& path, std::size_t limit = maxBytes);

    /// Tells SVG from other image data by the leading bytes, the file name's extension breaking a tie
    /// (gzip data is SVG only under a .svgz name).
    static Format format(const std::string& path, const std::string& bytes);
};

} // namespace kestrel
