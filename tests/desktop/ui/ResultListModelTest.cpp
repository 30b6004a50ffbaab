#include "ui/ResultListModel.h"

#include "ui/AppRow.h"
#include "ui/IconProvider.h"
#include "ui/RowContent.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {
namespace {

LauncherApp entry(std::string name, std::optional<FileUrl> url = {}, IconRef icon = nullptr,
                  LauncherItemType type = LauncherItemType::application)
{
    return LauncherApp(Uuid::random(), std::move(name), std::move(url), std::move(icon), std::nullopt, type,
                       std::nullopt);
}

/// An application bundle called `name` in /Applications.
LauncherApp bundle(const std::string& name)
{
    return entry(name, FileUrl::fromPath("/Applications/" + name + ".app"));
}

TEST(ResultListModel, RowsKeepTheirIdentityWhileTheirIdStays)
{
    // Letters are applications, which keep their records (and ids) across rebuilds; '=' and '+' are the
    // calculator rows of two rebuilds, each made anew with its own id.
    const std::pair<std::string, std::string> cases[] = {{"=AB", "+AB"}, {"ABCDE", "BD"},    {"BD", "ABCDE"},
                                                         {"ABC", "CAB"}, {"=ABCD", "+DXAY"}, {"AB", ""}};
    std::map<char, LauncherApp> records;
    for (const char code : std::string("=+ABCDEXY"))
        records.try_emplace(code, entry(std::string(1, code)));
    const auto rows = [&records](const std::string& codes) {
        std::vector<LauncherApp> apps;
        for (const char code : codes)
            apps.push_back(records.at(code));
        return apps;
    };
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(before + " -> " + after);
        ResultListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.setResults(rows(before), 0);
        std::vector<QPersistentModelIndex> tracked;
        for (int r = 0; r < model.rowCount(); ++r)
            tracked.emplace_back(model.index(r));

        const std::vector<LauncherApp> next = rows(after);
        EXPECT_TRUE(model.setResults(next, 0));
        ASSERT_EQ(model.rowCount(), static_cast<int>(next.size()));
        for (int r = 0; r < model.rowCount(); ++r)
            EXPECT_EQ(model.app(model.index(r))->id(), next[static_cast<std::size_t>(r)].id()) << "row " << r;
        for (std::size_t i = 0; i < tracked.size(); ++i) {
            const std::size_t at = after.find(before[i]);
            EXPECT_EQ(tracked[i].row(), at == std::string::npos ? -1 : static_cast<int>(at)) << before[i];
        }
    }
}

TEST(ResultListModel, EachRowAnswersTheRolesTheRowDelegateReads)
{
    const IconRef icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::themeIcon, "safari"});
    const std::vector<LauncherApp> apps = {entry("Safari", bundle("Safari").url(), icon), entry("Notes"),
                                           entry("2+3 = 5", {}, nullptr, LauncherItemType::calculation)};
    // Each row's subtitle and what a screen reader says for it.
    const std::pair<const char*, const char*> rows[] = {
        {"/Applications/Safari.app", "Safari, /Applications/Safari.app"},
        {"", "Notes"},
        {"Press Enter to copy result", "2+3 = 5, Press Enter to copy result"},
    };
    ResultListModel model;
    for (int selected = 0; selected < 3; ++selected) {
        EXPECT_EQ(model.setResults(apps, selected), selected == 0) << "only the first call changes the rows";
        for (int r = 0; r < 3; ++r) {
            SCOPED_TRACE(apps[r].name());
            const RowContent shown = RowContent::read(model.index(r));
            EXPECT_EQ(shown.title.toStdString(), apps[r].name());
            EXPECT_EQ(shown.subtitle.toStdString(), rows[r].first);
            EXPECT_EQ(shown.calculation, r == 2);
            EXPECT_EQ(shown.icon, apps[r].icon());
            EXPECT_EQ(shown.selected, r == selected);
            EXPECT_EQ(model.index(r).data(Qt::AccessibleTextRole).toString().toStdString(), rows[r].second);
        }
    }
}

TEST(AppRow, RememberedRowHeightsMatchAFullLayoutAndSpotWrappedNames)
{
    // Names of one font, names that need another (CJK, emoji, a tab), ones that wrap, with a path line or
    // without; each asked twice at a width and again after others, so a remembered value that went wrong would show.
    const std::string wide(120, 'W');
    const std::pair<std::string, bool> rows[] = {
        {"Safari", true},
        {"Notes", false},
        {"\u6587\u5b57\u7de8\u96c6", true},
        {"Camera \U0001F4F7", true},
        {"Tab\tName", true},
        {"A Remarkably Long Application Name That Certainly Does Not Fit On One Line", true},
        {wide, true}};
    IconProvider icons;
    AppRow delegate(icons);
    for (const int width : {600, 600, 300, 120, 120, 600}) {
        for (const auto& [title, hasSubtitle] : rows) {
            SCOPED_TRACE(title.substr(0, 12) + " at " + std::to_string(width));
            EXPECT_EQ(delegate.rowHeight(title, hasSubtitle, false, width),
                      AppRow::layout(QString::fromStdString(title), hasSubtitle, QPoint(), width).height);
        }
    }
    EXPECT_TRUE(delegate.uniformHeights({bundle("Safari"), bundle("Mail"), bundle("Terminal")}, 600));
    EXPECT_FALSE(delegate.uniformHeights({bundle("Safari"), bundle("Mail"), bundle(wide)}, 600))
        << "a wrapped name makes its row higher";
}

} // namespace
} // namespace kestrel
