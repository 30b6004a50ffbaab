#include "ui/SettingsView.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(SettingsView, ShowsItsTextsInOrderAt450By600NamingThisSystem)
{
    SettingsView sheet;
    std::vector<std::string> texts;
    for (const QLabel* label : sheet.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts.push_back(label->text().toStdString());
    }
    const std::vector<std::string> expected = {
        "Kestrelpoint", "Light weight Linux App Launcher. v1.0", "How to Use",
        "Ctrl + Space", "Open launcher", "↑ ↓", "Navigate through apps", "Enter", "Launch selected app",
        "Esc", "Close launcher (not quit, just hide)", "X+Y", "You will get simple math expression results",
        "⏼", "To quit application click on the on/off icon in the top right corner", "About",
        "A fast, light, and native Linux application launcher. Kestrelpoint provides instant access to your "
        "applications with search and keyboard navigation. No telemetry, no ads, just pure functionality.",
        "© 2026 Kestrelpoint developers",
        "<a href=\"https://kestrelpoint.org\" style=\"text-decoration: underline;\">Kestrelpoint site</a>",
    };
    EXPECT_EQ(texts, expected);
    const QPushButton* close = sheet.findChild<QPushButton*>(QStringLiteral("closeButton"));
    EXPECT_EQ(close->text().toStdString(), "Close");
    EXPECT_FALSE(close->testAttribute(Qt::WA_SetCursor)) << "only the search window's buttons and rows point";
    sheet.show();
    EXPECT_EQ(sheet.size(), QSize(450, 600));

    // On macOS the two texts name that system, in its own spellings.
    using enum SettingsView::HostSystem;
    EXPECT_EQ(SettingsView::tagLine(macOS).toStdString(), "Light weight MacOS App Launcher. v1.0");
    EXPECT_EQ(SettingsView::aboutSummary(macOS).toStdString(), std::string(expected[16]).replace(26, 5, "macOS"));
}

} // namespace
} // namespace kestrel
