#include "LauncherFixture.h"

#include "ui/ApplicationIcon.h"
#include "ui/SettingsView.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(SettingsView, ShowsItsTextsInOrder)
{
    SettingsView sheet;
    std::vector<std::string> texts;
    for (const QLabel* label : sheet.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            texts.push_back(label->text().toStdString());
        }
    }
    const std::vector<std::string> expected = {
        "Kestrelpoint", "Light weight MacOS App Launcher. v1.0", "How to Use",
        "Ctrl + Space", "Open launcher", "↑ ↓", "Navigate through apps", "Enter", "Launch selected app",
        "Esc", "Close launcher (not quit, just hide)", "X+Y", "You will get simple math expression results",
        "⏼", "To quit application click on the on/off icon in the top right corner", "About",
        "A fast, light, and native macOS application launcher. Kestrelpoint provides instant access to your "
        "applications with search and keyboard navigation. No telemetry, no ads, just pure functionality.",
        "© 2026 Kestrelpoint developers",
        "<a href=\"https://kestrelpoint.org\" style=\"text-decoration: underline;\">Kestrelpoint site</a>",
    };
    EXPECT_EQ(texts, expected);
    const auto* close = sheet.findChild<QPushButton*>(QStringLiteral("closeButton"));
    EXPECT_EQ(close->text().toStdString(), "Close");
    EXPECT_TRUE(close->isDefault());
}

TEST(SettingsView, KeepsItsSizeAndFitsEveryTextWithTheCloseButtonAtTheBottom)
{
    SettingsView sheet;
    sheet.show();
    testing::settle();
    EXPECT_EQ(sheet.size(), QSize(450, 600));
    EXPECT_EQ(sheet.minimumSize(), sheet.maximumSize());

    const QRect content = sheet.rect().adjusted(24, 24, -24, -24);
    int wrapped = 0;
    for (const QLabel* label : sheet.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_TRUE(content.contains(label->geometry())) << "outside the padded area";
        if (label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "text cut off";
            EXPECT_GT(label->height(), 1.5 * label->fontMetrics().height()) << "should wrap onto several lines";
            ++wrapped;
        } else {
            EXPECT_GE(label->height(), label->sizeHint().height()) << "text cut off";
            EXPECT_GE(label->width(), label->sizeHint().width()) << "text cut off";
        }
    }
    EXPECT_EQ(wrapped, 2);
    const auto* close = sheet.findChild<QPushButton*>(QStringLiteral("closeButton"));
    EXPECT_EQ(close->geometry().bottom(), 600 - 24 - 1);
    EXPECT_NEAR(close->geometry().center().x(), 225, 1) << "not centred";
}

TEST(SettingsView, HeaderShowsTheApplicationIconOrTheBadgeSymbol)
{
    struct Case {
        const char* name;
        QIcon windowIcon;
        QSize iconSize;
        bool ownColours;
    };
    const Case cases[] = {{"no-application-icon", QIcon(), QSize(40, 40), false},
                          {"settings", applicationIcon(), QSize(64, 64), true}};
    const QIcon saved = QApplication::windowIcon();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QApplication::setWindowIcon(c.windowIcon);
        SettingsView sheet;
        sheet.show();
        testing::settle();
        const QImage image = sheet.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        testing::saveSnapshot(image, c.name);
        const auto* icon = sheet.findChild<QLabel*>(QStringLiteral("headerIcon"));
        EXPECT_EQ(icon->size(), c.iconSize);
        // The bundled icon is orange; the badge symbol is tinted with the (blue) accent colour.
        const QColor left = image.pixelColor(icon->geometry().left() + 6, icon->geometry().center().y());
        EXPECT_EQ(left.red() > left.blue() + 60, c.ownColours) << left.name().toStdString();
    }
    QApplication::setWindowIcon(saved);
}

} // namespace
} // namespace kestrel
