#include "ui/AppRow.h"

#include "ui/IconProvider.h"
#include "ui/ResultListModel.h"
#include "ui/RowContent.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

LauncherApp row(std::string name, bool withPath, LauncherItemType type = LauncherItemType::application)
{
    std::optional<FileUrl> url;
    if (withPath)
        url = FileUrl::fromPath("/Applications/" + name + ".app");
    return LauncherApp(Uuid::random(), std::move(name), std::move(url), nullptr, std::nullopt, type, std::nullopt);
}

/// What the row delegate reads for `app` from the result list model.
RowContent content(const LauncherApp& app)
{
    ResultListModel model;
    model.setResults({app}, 0);
    return RowContent::read(model.index(0));
}

TEST(AppRow, PartsSitAtFixedOffsetsAndWrappedTitlesGrowTheRow)
{
    const std::string longName = "A Remarkably Long Application Name That Certainly Does Not Fit On One Line";
    struct Case {
        LauncherApp app;
        int width;
        int lines;
    };
    const Case cases[] = {
        {row("Safari", true), 600, 1},
        {row("Notes", false), 600, 1},
        {row("2+3 = 5", false, LauncherItemType::calculation), 600, 1},
        {row(longName, true), 600, 2},
        {row(longName, true), 300, 3},
        {row(std::string(120, 'W'), true), 600, 2},
    };
    const int line = QFontMetrics(AppRow::titleFont()).height();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.app.name().substr(0, 20) + " at " + std::to_string(c.width));
        const RowContent shown = content(c.app);
        const AppRow::Geometry g = AppRow::layout(shown.title, !shown.subtitle.isEmpty(), QPoint(0, 100), c.width);
        EXPECT_EQ(g.highlight, QRect(8, 100, c.width - 16, g.height));
        EXPECT_EQ(g.picture, QRect(28, g.picture.y(), 32, 32));
        EXPECT_EQ(g.title.x(), 72);
        EXPECT_LE(g.title.right(), c.width - 28 - 1);
        EXPECT_GE(g.title.height(), c.lines * line);
        EXPECT_EQ(g.title.height() == line, c.lines == 1);
        const bool hasSubtitle = c.app.url() || c.app.type() == LauncherItemType::calculation;
        EXPECT_EQ(g.subtitle.isEmpty(), !hasSubtitle);
        const int text = g.title.height() + (hasSubtitle ? 2 + g.subtitle.height() : 0);
        EXPECT_EQ(g.height, 16 + std::max(32, text));
    }
}

TEST(AppRow, RememberedRowHeightsMatchAFullLayoutAndSpotWrappedNames)
{
    // Names of one font, names that need another (CJK, emoji, a tab), one that just fits and ones that
    // wrap; each asked twice at each width, so a remembered value that went wrong would show.
    const std::string wide(120, 'W');
    const std::vector<LauncherApp> apps = {
        row("Safari", true),
        row("Notes", false),
        row("\u6587\u5b57\u7de8\u96c6", true),
        row("Camera \U0001F4F7", true),
        row("Tab\tName", true),
        row("A Remarkably Long Application Name That Certainly Does Not Fit On One Line", true),
        row(wide, true),
        row("7*6", false, LauncherItemType::calculation),
    };
    IconProvider icons;
    AppRow delegate(icons);
    for (const int width : {600, 300, 120, 600}) {
        for (int pass = 0; pass < 2; ++pass) {
            for (const LauncherApp& app : apps) {
                SCOPED_TRACE(app.name().substr(0, 12) + " at " + std::to_string(width));
                const RowContent shown = content(app);
                EXPECT_EQ(delegate.rowHeight(app.name(), !shown.subtitle.isEmpty(), shown.calculation, width),
                          AppRow::layout(shown.title, !shown.subtitle.isEmpty(), QPoint(), width).height);
            }
        }
    }
    const std::vector<LauncherApp> oneLine = {row("Safari", true), row("Mail", true), row("Terminal", true)};
    EXPECT_TRUE(delegate.uniformHeights(oneLine, 600));
    EXPECT_TRUE(delegate.uniformHeights({}, 600));
    std::vector<LauncherApp> withWrapped = oneLine;
    withWrapped.push_back(row(wide, true));
    EXPECT_FALSE(delegate.uniformHeights(withWrapped, 600));
    std::vector<LauncherApp> withoutPath = oneLine;
    withoutPath.push_back(row("Notes", false));
    EXPECT_EQ(delegate.uniformHeights(withoutPath, 600),
              AppRow::layout(QStringLiteral("Notes"), false, QPoint(), 600).height ==
                  AppRow::layout(QStringLiteral("Safari"), true, QPoint(), 600).height);
}

TEST(AppRow, LongPathIsShortenedInTheMiddleKeepingBothEnds)
{
    const LauncherApp app = row(std::string(80, 'a') + "/" + std::string(60, 'c') + "/Tool", true);
    const QString shown = AppRow::displayedSubtitle(content(app), 600);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/Applications/aaa"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("ccc/Tool.app"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(AppRow::subtitleFont()).horizontalAdvance(shown), 600 - 72 - 28);
    EXPECT_EQ(AppRow::displayedSubtitle(content(row("Safari", true)), 600).toStdString(), "/Applications/Safari.app");
}

TEST(AppRow, ReadsEachRowsPartsFromTheModel)
{
    const IconRef icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::themeIcon, "safari"});
    const LauncherApp safari(Uuid::random(), "Safari", FileUrl::fromPath("/Applications/Safari.app"), icon,
                             std::nullopt, LauncherItemType::application, std::nullopt);
    struct Case {
        LauncherApp app;
        const char* subtitle;
        bool calculation;
        const char* spoken;
    };
    const Case cases[] = {
        {safari, "/Applications/Safari.app", false, "Safari, /Applications/Safari.app"},
        {row("Notes", false), "", false, "Notes"},
        {row("2+3 = 5", false, LauncherItemType::calculation), "Press Enter to copy result", true,
         "2+3 = 5, Press Enter to copy result"},
    };
    for (const Case& c : cases) {
        ResultListModel model;
        model.setResults({row("Other", true), c.app}, 1);
        const RowContent shown = RowContent::read(model.index(1));
        EXPECT_EQ(shown.title.toStdString(), c.app.name());
        EXPECT_EQ(shown.subtitle.toStdString(), c.subtitle);
        EXPECT_EQ(shown.calculation, c.calculation);
        EXPECT_EQ(shown.icon, c.app.icon()) << c.app.name();
        EXPECT_TRUE(shown.selected);
        EXPECT_FALSE(RowContent::read(model.index(0)).selected);
        EXPECT_EQ(model.index(1).data(Qt::AccessibleTextRole).toString().toStdString(), c.spoken);
    }
}

} // namespace
} // namespace kestrel
