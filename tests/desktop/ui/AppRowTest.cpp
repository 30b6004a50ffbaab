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

LauncherApp row(std::string name, bool withPath = true, LauncherItemType type = LauncherItemType::application)
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

TEST(AppRow, RememberedRowHeightsMatchAFullLayoutAndSpotWrappedNames)
{
    // Names of one font, names that need another (CJK, emoji, a tab), ones that wrap; each asked twice at
    // each width, so a remembered value that went wrong would show.
    const std::string wide(120, 'W');
    const std::vector<LauncherApp> apps = {
        row("Safari"),
        row("Notes", false),
        row("\u6587\u5b57\u7de8\u96c6"),
        row("Camera \U0001F4F7"),
        row("Tab\tName"),
        row("A Remarkably Long Application Name That Certainly Does Not Fit On One Line"),
        row(wide),
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
    const std::vector<LauncherApp> oneLine = {row("Safari"), row("Mail"), row("Terminal")};
    EXPECT_TRUE(delegate.uniformHeights(oneLine, 600));
    EXPECT_TRUE(delegate.uniformHeights({}, 600));
    std::vector<LauncherApp> withWrapped = oneLine;
    withWrapped.push_back(row(wide));
    EXPECT_FALSE(delegate.uniformHeights(withWrapped, 600)) << "a wrapped name makes its row higher";
}

TEST(AppRow, LongPathIsShortenedInTheMiddleKeepingBothEnds)
{
    const LauncherApp deep = row(std::string(80, 'a') + "/" + std::string(60, 'c'));
    const QString shown = AppRow::displayedSubtitle(content(deep), 600);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/Applications/aaa"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("ccc.app"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(AppRow::subtitleFont()).horizontalAdvance(shown), 600 - 72 - 28);
    EXPECT_EQ(AppRow::displayedSubtitle(content(row("Safari")), 600).toStdString(), "/Applications/Safari.app");
}

} // namespace
} // namespace kestrel
