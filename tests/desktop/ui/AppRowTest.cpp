#include "ui/AppRow.h"
#include "ui/IconProvider.h"
#include "ui/ResultListModel.h"
#include "ui/ViewStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

LauncherApp application(std::string name, std::optional<std::string> path, IconRef icon = nullptr)
{
    std::optional<FileUrl> url;
    if (path) {
        url = FileUrl::fromPath(*path);
    }
    return LauncherApp(Uuid::random(), std::move(name), std::move(url), std::move(icon), std::nullopt,
                       LauncherItemType::application, std::nullopt);
}

LauncherApp calculation(std::string name)
{
    return LauncherApp(Uuid::random(), std::move(name), std::nullopt,
                       std::make_shared<const IconSource>(
                           IconSource{IconSource::Kind::symbol, "calculator", "Calculator"}),
                       std::nullopt, LauncherItemType::calculation, 5.0);
}

struct GeometryCase {
    const char* name;
    LauncherApp app;
    bool hasSubtitle;
};

TEST(AppRowGeometry, PartsSitAtTheirFixedOffsetsInAListSixHundredWide)
{
    const GeometryCase cases[] = {
        {"application with path", application("Safari", "/Applications/Safari.app"), true},
        {"application without path", application("Notes", std::nullopt), false},
        {"calculator row", calculation("2+3 = 5"), true},
    };
    const int titleLine = QFontMetrics(AppRow::titleFont()).height();
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AppRow::Geometry g = AppRow::layout(c.app, QPoint(0, 100), 600);
        EXPECT_EQ(g.highlight, QRect(8, 100, 584, g.height));
        EXPECT_EQ(g.picture.x(), 28);
        EXPECT_EQ(g.picture.size(), QSize(32, 32));
        EXPECT_EQ(g.title.x(), 72);
        EXPECT_EQ(g.title.right(), 600 - 28 - 1);
        EXPECT_EQ(g.title.height(), titleLine);
        EXPECT_EQ(g.subtitle.isEmpty(), !c.hasSubtitle);
        const int block = c.hasSubtitle ? g.subtitle.bottom() - g.title.top() + 1 : g.title.height();
        if (c.hasSubtitle) {
            EXPECT_EQ(g.subtitle.top(), g.title.bottom() + 1 + 2);
            EXPECT_EQ(g.subtitle.x(), 72);
        }
        // 8 of highlight above and below the taller of picture and text, both centred in that height.
        EXPECT_EQ(g.height, 16 + std::max(32, block));
        EXPECT_EQ(g.picture.top() - (100 + 8), (g.height - 16 - 32) / 2) << "picture not centred";
    }
}

TEST(AppRowGeometry, LongTitlesWrapAndTheRowGrows)
{
    const std::string shortName = "Chess";
    const std::string longName =
        "A Remarkably Long Application Name That Certainly Does Not Fit On One Line Of The Result List";
    const std::string oneWord(120, 'W');
    const int line = QFontMetrics(AppRow::titleFont()).height();
    struct Case {
        std::string name;
        int width;
        int minimumLines;
    };
    const Case cases[] = {{shortName, 600, 1}, {longName, 600, 2}, {longName, 300, 3}, {oneWord, 600, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20) + " at " + std::to_string(c.width));
        const AppRow::Geometry g = AppRow::layout(application(c.name, "/Applications/X.app"), QPoint(), c.width);
        EXPECT_GE(g.title.height(), c.minimumLines * line);
        EXPECT_LE(g.title.right(), c.width - 28 - 1);
        EXPECT_EQ(g.height, 8 + g.title.height() + 2 + g.subtitle.height() + 8);
    }
}

TEST(AppRowText, LongPathIsShortenedInTheMiddleKeepingBothEnds)
{
    const std::string path = "/Applications/" + std::string(40, 'a') + "/" + std::string(40, 'b') + "/" +
                             std::string(60, 'c') + "/Very Important Tool.app";
    const LauncherApp app = application("Tool", path);
    const int textWidth = 600 - 72 - 28;
    const QString shown = AppRow::displayedSubtitle(app, 600);
    EXPECT_LT(shown.size(), static_cast<qsizetype>(path.size()));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/Applications/aaa"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("Very Important Tool.app"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(AppRow::subtitleFont()).horizontalAdvance(shown), textWidth);

    const LauncherApp shortPath = application("Safari", "/Applications/Safari.app");
    EXPECT_EQ(AppRow::displayedSubtitle(shortPath, 600).toStdString(), "/Applications/Safari.app");
}

/// Paints one row of `model` into a white image the row's size and returns it.
QImage paintRow(const ResultListModel& model, int row, AppRow& delegate)
{
    const QModelIndex index = model.index(row);
    const AppRow::Geometry g = AppRow::layout(*model.app(index), QPoint(), 600);
    QImage image(600, g.height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 600, g.height);
    option.palette = QApplication::palette();
    delegate.paint(&painter, option, index);
    return image;
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255;
}

TEST(AppRowPainting, PictureIsThePlaceholderTheFunctionSymbolOrTheIcon)
{
    IconProvider icons;
    AppRow delegate(icons);
    ResultListModel model;
    const auto missingIcon = std::make_shared<const IconSource>(
        IconSource{IconSource::Kind::themeIcon, "kestrel-test-no-such-icon", {}});
    model.setResults({application("Nothing", "/Applications/Nothing.app", nullptr),
                      application("Missing", "/Applications/Missing.app", missingIcon), calculation("2+3 = 5")},
                     -1);
    const QColor placeholder = ViewStyle::gray(0.3);
    for (const int row : {0, 1}) {
        const QImage image = paintRow(model, row, delegate);
        const QRect picture = AppRow::layout(*model.app(model.index(row)), QPoint(), 600).picture;
        // The rounded placeholder fills the square but not its very corner.
        const QRgb centre = image.pixel(picture.center());
        EXPECT_NEAR(qRed(centre), 255 - placeholder.alphaF() * (255 - 142), 2) << "row " << row;
        EXPECT_TRUE(isWhite(image.pixel(picture.topLeft()))) << "corner not rounded, row " << row;
    }

    const QImage calculator = paintRow(model, 2, delegate);
    const QRect picture = AppRow::layout(*model.app(model.index(2)), QPoint(), 600).picture;
    const QColor accent = ViewStyle::accent(QApplication::palette());
    int accentPixels = 0;
    int otherPixels = 0;
    for (int y = picture.top(); y <= picture.bottom(); ++y) {
        for (int x = picture.left(); x <= picture.right(); ++x) {
            const QColor pixel = calculator.pixelColor(x, y);
            const int distanceFromWhite = 3 * 255 - pixel.red() - pixel.green() - pixel.blue();
            if (distanceFromWhite < 90) {
                continue; // faint antialiased edge: too little colour to judge
            }
            // Antialiased edges blend the accent with white: the hue stays that of the accent.
            if (std::abs(pixel.hslHue() - accent.hslHue()) <= 8) {
                ++accentPixels;
            } else {
                ++otherPixels;
            }
        }
    }
    EXPECT_GT(accentPixels, 40) << "function symbol not drawn in the accent colour";
    EXPECT_EQ(otherPixels, 0);
}

} // namespace
} // namespace kestrel
