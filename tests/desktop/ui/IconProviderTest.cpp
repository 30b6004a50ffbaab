#include "ui/IconProvider.h"
#include "ui/IconDecoder.h"

#include "support/CatalogFixture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

/// A `width` x `height` image of `color` in `format`, encoded as `type` ("PNG", "BMP").
std::string encoded(int width, int height, QImage::Format format, QColor color, const char* type = "PNG")
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(format).save(&buffer, type);
    return bytes.toStdString();
}

/// `text` in a gzip file's bytes.
std::string gzip(const std::string& text)
{
    const test::TempTree tree;
    gzFile file = gzopen(tree.path("z").c_str(), "wb1");
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
    QFile in(QString::fromStdString(tree.path("z")));
    return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : "";
}

const std::string greenSvg = "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 20'>"
                             "<rect width='10' height='20' fill='#00ff00'/></svg>";

IconRef imageFile(const std::string& path)
{
    return std::make_shared<IconSource>(IconSource{IconSource::Kind::imageFile, path});
}

// Telling SVG from raster data is the icon file reader's test; files that break off, are no image or are far
// too big are also the end-to-end test's, as are plain PNG and SVG icons.
TEST(IconProvider, AnswersAtOnceDecodesEachFileOnceFittedToTheRowKeepsAFailureAndDeliversNothingOnceDestroyed)
{
    const test::TempTree tree;
    const std::string svgBomb = greenSvg.substr(0, greenSvg.size() - 6) + std::string(IconDecoder::maxSvgBytes, ' ');
    // Each file's name says what it holds and what it tests; the size it is decoded at (none: refused).
    const struct {
        std::string name;
        std::string bytes;
        QSize size;
        QRgb centre;
    } files[] = {
        {"gray16-scaled.png", encoded(40, 20, QImage::Format_Grayscale16, Qt::white), {32, 16}, qRgb(255, 255, 255)},
        {"through-qt-readers.bmp", encoded(64, 32, QImage::Format_RGB32, Qt::red, "BMP"), {32, 16}, qRgb(255, 0, 0)},
        {"drawn-at-full-size-aspect-kept.svgz", gzip(greenSvg), {16, 32}, qRgb(0, 255, 0)},
        {"inflating-past-the-limit.svgz", gzip(svgBomb + "</svg>"), {}, 0},
        {"broken.png", "not yet an image", {}, 0},
    };
    auto provider = std::make_unique<IconProvider>();
    QSignalSpy arrived(provider.get(), &IconProvider::iconsArrived);
    std::vector<IconRef> icons;
    for (const auto& file : files) {
        icons.push_back(imageFile(tree.write(file.name, file.bytes)));
        EXPECT_TRUE(provider->icon(icons.back()).isNull()) << "a request never waits for the decoder";
    }
    EXPECT_TRUE(provider->icon(icons.front()).isNull()) << "asked again while it is decoded";
    provider->waitForPending();
    EXPECT_EQ(arrived.count(), 5) << "one decode per file";
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const QIcon icon = provider->icon(icons[i]);
        ASSERT_EQ(icon.availableSizes().value(0), files[i].size) << files[i].name;
        const QImage image = icon.pixmap(files[i].size).toImage();
        EXPECT_EQ(image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2), files[i].centre)
            << files[i].name;
    }
    tree.write("broken.png", encoded(8, 8, QImage::Format_ARGB32, Qt::red));
    EXPECT_TRUE(provider->icon(icons.back()).isNull());
    provider->waitForPending();
    EXPECT_TRUE(provider->icon(icons.back()).isNull()) << "the failure is kept: the placeholder stays";
    EXPECT_EQ(arrived.count(), 5) << "no second decode";

    // Destroyed with decodes queued and one running: a delivery that reached it afterwards would write to
    // freed memory, which the AddressSanitizer build of this test reports. Everything the decodes posted has
    // been handled once a marker posted after them has run.
    for (int i = 0; i < 20; ++i)
        provider->icon(imageFile(tree.write("icon" + std::to_string(i) + ".svg", greenSvg)));
    provider.reset();
    bool drained = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&drained] { drained = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(QTest::qWaitFor([&drained] { return drained; }, 30000));
}

} // namespace
} // namespace kestrel
