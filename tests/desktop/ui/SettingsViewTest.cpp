#include "ui/SettingsView.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(SettingsView, ShowsItsTextsInOrderAt450By600)
{
    SettingsView sheet;
    std::vector<std::string> texts;
    for (const QLabel* label : sheet.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts.push_back(label->text().toStdString());
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
    EXPECT_EQ(sheet.findChild<QPushButton*>(QStringLiteral("closeButton"))->text().toStdString(), "Close");
    sheet.show();
    EXPECT_EQ(sheet.size(), QSize(450, 600));
}

} // namespace
} // namespace kestrel
