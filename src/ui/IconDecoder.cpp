#include "ui/IconDecoder.h"

#include "catalog/IconFile.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

namespace kestrel {

namespace {

/// `natural` fitted into `bounds` with its aspect ratio kept, never larger than it is.
QSize fitted(QSize natural, QSize bounds)
{
    if (natural.width() <= bounds.width() && natural.height() <= bounds.height()) {
        return natural;
    }
    return natural.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

/// `image` scaled to `fitted(image.size(), bounds)`, or itself when that is its size.
QImage scaledDown(const QImage& image, QSize bounds)
{
    const QSize wanted = fitted(image.size(), bounds);
    return wanted == image.size() ? image : image.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

const unsigned char pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr png_uint_32 maxPngSide = 4096;

struct PngInput {
    const unsigned char* data;
    std::size_t size;
    std::size_t offset;
};

void readPngBytes(png_structp png, png_bytep out, png_size_t length)
{
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (length > input->size - input->offset) {
        png_error(png, "truncated");
    }
    std::memcpy(out, input->data + input->offset, length);
    input->offset += length;
}

[[noreturn]] void failPng(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp /*png*/, png_const_charp /*message*/)
{
}

class PngReader {
public:
    PngReader()
        : m_png(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failPng, ignorePngWarning))
    {
        if (m_png != nullptr) {
            m_info = png_create_info_struct(m_png);
        }
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    ~PngReader() { png_destroy_read_struct(&m_png, m_info != nullptr ? &m_info : nullptr, nullptr); }
    bool valid() const { return m_png != nullptr && m_info != nullptr; }

    // Between setjmp and a longjmp out of libpng only trivially destructible objects live in these frames.

    /// Reads the header and sets the output to 8-bit RGBA; false for a broken or oversized file.
    bool readHeader(PngInput* input, png_uint_32* width, png_uint_32* height)
    {
        if (setjmp(png_jmpbuf(m_png))) {
            return false;
        }
        png_set_read_fn(m_png, input, readPngBytes);
        png_set_user_limits(m_png, maxPngSide, maxPngSide);
        png_set_chunk_malloc_max(m_png, IconFile::maxBytes);
        png_read_info(m_png, m_info);
        png_set_expand(m_png);
        png_set_strip_16(m_png);
        png_set_gray_to_rgb(m_png);
        png_set_add_alpha(m_png, 0xff, PNG_FILLER_AFTER);
        png_set_interlace_handling(m_png);
        png_read_update_info(m_png, m_info);
        *width = png_get_image_width(m_png, m_info);
        *height = png_get_image_height(m_png, m_info);
        return png_get_rowbytes(m_png, m_info) == std::size_t(*width) * 4;
    }

    /// Decodes every pass into `rows`; false when the data breaks off or is corrupt.
    bool readRows(png_bytepp rows)
    {
        if (setjmp(png_jmpbuf(m_png))) {
            return false;
        }
        png_read_image(m_png, rows);
        return true;
    }

private:
    png_structp m_png;
    png_infop m_info = nullptr;
};

/// The inflated contents of gzip `data`; empty when it is broken or would inflate beyond `limit` bytes.
QByteArray gunzip(const QByteArray& data, std::size_t limit)
{
    z_stream stream{};
    // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    std::string out; // grows geometrically, unlike a QByteArray resized step by step
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    constexpr std::size_t chunk = 64 * 1024;
    int status = Z_OK;
    while (status == Z_OK && out.size() <= limit) {
        const std::size_t used = out.size();
        out.resize(used + chunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        stream.avail_out = static_cast<uInt>(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(used + chunk - stream.avail_out);
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || out.size() > limit) {
        return {};
    }
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

} // namespace

QImage IconDecoder::decode(const std::string& path, const std::string& bytes, QSize size)
{
    if (bytes.empty() || size.isEmpty()) {
        return {};
    }
    // The bytes outlive every use of this view: both decoders finish before decode returns.
    const QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (IconFile::format(path, bytes) == IconFile::Format::svg) {
        return decodeSvg(data, size);
    }
    if (bytes.size() > sizeof(pngSignature) && std::memcmp(bytes.data(), pngSignature, sizeof(pngSignature)) == 0) {
        return decodePng(data, size);
    }
    return decodeRaster(data, size);
}

QImage IconDecoder::decodeSvg(const QByteArray& data, QSize size)
{
    // Compressed SVG is inflated here, with a bound, rather than by the SVG reader, which knows none.
    const bool compressed = data.startsWith("\x1f\x8b");
    const QByteArray document = compressed ? gunzip(data, maxSvgBytes) : data;
    if (document.isEmpty()) {
        return {};
    }
    QSvgRenderer renderer;
    if (!renderer.load(document) || !renderer.isValid()) {
        return {};
    }
    QSizeF natural = renderer.viewBoxF().size();
    if (natural.isEmpty()) {
        natural = renderer.defaultSize();
    }
    if (natural.isEmpty()) {
        natural = size;
    }
    // Scalable: drawn at the full size asked for, whatever the document's own size.
    const QSize target = natural.scaled(QSizeF(size), Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    painter.end();
    return image;
}

QImage IconDecoder::decodePng(const QByteArray& data, QSize size)
{
    PngReader reader;
    if (!reader.valid()) {
        return {};
    }
    PngInput input{reinterpret_cast<const unsigned char*>(data.constData()), static_cast<std::size_t>(data.size()), 0};
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    if (!reader.readHeader(&input, &width, &height) || width == 0 || height == 0) {
        return {};
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGBA8888);
    if (image.isNull()) {
        return {};
    }
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = image.scanLine(static_cast<int>(y));
    }
    // What follows the pixels (text, time, the end marker) is not needed, so it is not read.
    if (!reader.readRows(rows.data())) {
        return {};
    }
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return scaledDown(image, size);
}

QImage IconDecoder::decodeRaster(const QByteArray& data, QSize size)
{
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    QImageReader reader(&buffer);
    if (!reader.canRead()) {
        return {};
    }
    // A format that declares its size is refused or scaled before any pixel is decoded; the others are
    // bounded by the reader's allocation limit and scaled afterwards.
    const QSize natural = reader.size();
    if (natural.isValid()) {
        if (natural.isEmpty() || qint64(natural.width()) * natural.height() > maxPixels) {
            return {};
        }
        reader.setScaledSize(fitted(natural, size));
    }
    QImage image = reader.read();
    if (image.isNull() || qint64(image.width()) * image.height() > maxPixels) {
        return {};
    }
    return scaledDown(image, size);
}

} // namespace kestrel
