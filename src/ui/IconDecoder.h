#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>
#include <string>

namespace kestrel {

/// Decodes an icon file's bytes (as `IconFile` read them) into an image no larger than the row needs.
/// Uses only QImage, QImageReader, QSvgRenderer, libpng and zlib (PNG is read with libpng directly, whose
/// own error reports would otherwise go straight to stderr), so it may run on any thread.
class IconDecoder {
public:
    /// The most pixels a raster image may declare before it is refused undecoded (4096 x 4096); Qt's own
    /// allocation limit for image readers stays in force beneath it.
    static constexpr qint64 maxPixels = qint64(4096) * 4096;
    /// The largest SVG document accepted, in bytes, after a compressed one (.svgz) is inflated.
    static constexpr std::size_t maxSvgBytes = 32 * 1024 * 1024;

    /// The picture in `bytes` (the file at `path`; its name only breaks ties between formats) fitted into
    /// `size` device pixels with its aspect ratio kept, never scaled up; a null image when the data is
    /// empty, truncated, not an image, declares more than `maxPixels`, is compressed SVG that inflates
    /// beyond `maxSvgBytes`, or is an SVG that Qt refuses (malformed, or expanding entities without bound).
    static QImage decode(const std::string& path, const std::string& bytes, QSize size);

private:
    static QImage decodeSvg(const QByteArray& data, QSize size);
    static QImage decodePng(const QByteArray& data, QSize size);
    static QImage decodeRaster(const QByteArray& data, QSize size);
};

} // namespace kestrel
