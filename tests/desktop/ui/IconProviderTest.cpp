#include "ui/IconDecoder.h"
#include "ui/IconProvider.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <string>

namespace kestrel {
namespace {

std::string encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

QImage filled(int width, int height, QImage::Format format, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image.convertToFormat(format);
}

const std::string greenSvg = "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 20'>"
                             "<rect width='10' height='20' fill='#00ff00'/></svg>";

std::string entityBomb()
{
    std::string text = "<?xml version='1.0'?><!DOCTYPE svg [<!ENTITY e0 'kestrelkestrel'>";
    for (int i = 1; i < 12; ++i) {
        text += "<!ENTITY e" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k)
            text += "&e" + std::to_string(i - 1) + ";";
        text += "'>";
    }
    return text + "]><svg xmlns='http://www.w3.org/2000/svg'><text>&e11;</text></svg>";
}

std::string gzip(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

TEST(IconDecoder, DecodesWhatIsWholeFittedToTheRowAndRefusesTheRest)
{
    const std::string png = encoded(filled(64, 64, QImage::Format_ARGB32, Qt::red), "PNG");
    const struct {
        const char* what;
        std::string path;
        std::string bytes;
        QSize size;     // expected; empty for a refusal
        QRgb centre;
    } cases[] = {
        {"RGBA PNG, scaled down", "/i/a.png", png, {32, 32}, qRgb(255, 0, 0)},
        {"PNG under a misleading name", "/i/a.svg", png, {32, 32}, qRgb(255, 0, 0)},
        {"gray PNG", "/i/a.png", encoded(filled(40, 20, QImage::Format_Grayscale8, Qt::white), "PNG"), {32, 16},
         qRgb(255, 255, 255)},
        {"16-bit PNG", "/i/a.png", encoded(filled(8, 8, QImage::Format_RGBA64, Qt::blue), "PNG"), {8, 8},
         qRgb(0, 0, 255)},
        {"palette PNG, small: not scaled up", "/i/a.png",
         encoded(filled(16, 16, QImage::Format_Indexed8, Qt::yellow), "PNG"), {16, 16}, qRgb(255, 255, 0)},
        {"BMP through Qt's readers", "/i/a.bmp", encoded(filled(64, 32, QImage::Format_RGB32, Qt::red), "BMP"),
         {32, 16}, qRgb(255, 0, 0)},
        {"SVG drawn at the full size, aspect kept", "/i/a.svg", greenSvg, {16, 32}, qRgb(0, 255, 0)},
        {"compressed SVG", "/i/a.svgz", gzip(greenSvg), {16, 32}, qRgb(0, 255, 0)},
        {"compressed SVG inflating past the limit", "/i/a.svgz",
         gzip(greenSvg.substr(0, greenSvg.size() - 6) + std::string(IconDecoder::maxSvgBytes, ' ') + "</svg>"), {}, 0},
        {"truncated compressed SVG", "/i/a.svgz", gzip(greenSvg).substr(0, 30), {}, 0},
        {"truncated PNG", "/i/a.png", png.substr(0, png.size() / 2), {}, 0},
        {"PNG signature only", "/i/a.png", png.substr(0, 9), {}, 0},
        {"truncated SVG", "/i/a.svg", greenSvg.substr(0, 40), {}, 0},
        {"SVG expanding entities", "/i/a.svg", entityBomb(), {}, 0},
        {"no image at all", "/i/a.png", "not an image", {}, 0},
        {"nothing", "/i/a.png", "", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage image = IconDecoder::decode(c.path, c.bytes, QSize(32, 32));
        ASSERT_EQ(image.isNull(), c.size.isEmpty());
        if (image.isNull())
            continue;
        EXPECT_EQ(image.size(), c.size);
        EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), c.centre);
    }
}

TEST(IconDecoder, RefusesAPngLargerThanTheLimitWithoutDecodingIt)
{
    // Qt's writer keeps a flat image small; 4097 pixels wide is one over the side limit.
    const std::string wide = encoded(filled(4097, 1, QImage::Format_Grayscale8, Qt::black), "PNG");
    EXPECT_TRUE(IconDecoder::decode("/i/a.png", wide, QSize(32, 32)).isNull());
    const std::string edge = encoded(filled(4096, 1, QImage::Format_Grayscale8, Qt::black), "PNG");
    EXPECT_FALSE(IconDecoder::decode("/i/a.png", edge, QSize(32, 32)).isNull());
}

class IconProviderTest : public ::testing::Test {
protected:
    IconRef file(const std::string& name, const std::string& bytes)
    {
        const std::string path = (m_folder.path() + "/").toStdString() + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return std::make_shared<IconSource>(IconSource{IconSource::Kind::imageFile, path});
    }

    QTemporaryDir m_folder;
};

TEST_F(IconProviderTest, AnswersAtOnceAndDeliversTheDecodedIconLater)
{
    IconProvider provider;
    QSignalSpy arrived(&provider, &IconProvider::iconsArrived);
    const IconRef red = file("red.png", encoded(filled(64, 64, QImage::Format_ARGB32, Qt::red), "PNG"));
    EXPECT_TRUE(provider.icon(red).isNull()) << "the first request never waits for the decoder";
    EXPECT_TRUE(provider.icon(red).isNull()) << "nor does a second one while it runs";
    provider.waitForPending();
    EXPECT_EQ(arrived.count(), 1) << "one decode for both requests";
    const QIcon icon = provider.icon(red);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(QSize(32, 32), 1.0).toImage().pixel(16, 16), qRgb(255, 0, 0));
}

TEST_F(IconProviderTest, AFailureIsKeptAndTheFileNeverTriedAgain)
{
    IconProvider provider;
    QSignalSpy arrived(&provider, &IconProvider::iconsArrived);
    const IconRef broken = file("broken.png", "not yet an image");
    EXPECT_TRUE(provider.icon(broken).isNull());
    provider.waitForPending();
    EXPECT_EQ(arrived.count(), 1);
    file("broken.png", encoded(filled(8, 8, QImage::Format_ARGB32, Qt::red), "PNG"));
    EXPECT_TRUE(provider.icon(broken).isNull());
    provider.waitForPending();
    EXPECT_TRUE(provider.icon(broken).isNull());
    EXPECT_EQ(arrived.count(), 1) << "no second decode";
}

TEST_F(IconProviderTest, DestroyingTheProviderWithDecodesQueuedDeliversNothingLater)
{
    auto provider = std::make_unique<IconProvider>();
    QSignalSpy arrived(provider.get(), &IconProvider::iconsArrived);
    for (int i = 0; i < 20; ++i)
        provider->icon(file("icon" + std::to_string(i) + ".svg", greenSvg));
    provider.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(arrived.count(), 0);
}

} // namespace
} // namespace kestrel
