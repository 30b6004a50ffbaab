#include "ui/ResultListModel.h"

#include "ui/AppRow.h"
#include "ui/IconProvider.h"
#include "ui/RowContent.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
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

/// `count` applications named "App 0" on.
std::vector<LauncherApp> catalogue(int count)
{
    std::vector<LauncherApp> apps;
    for (int i = 0; i < count; ++i)
        apps.push_back(bundle("App " + std::to_string(i)));
    return apps;
}

QByteArray idOf(const LauncherApp& app)
{
    return QByteArray(reinterpret_cast<const char*>(app.id().bytes().data()), 16);
}

TEST(ResultListModel, ALocalChangeInALongListKeepsEveryOtherRowAndALargeOneResets)
{
    const std::vector<LauncherApp> all = catalogue(300);
    const LauncherApp calculation = entry("1+1 = 2", {}, nullptr, LauncherItemType::calculation);
    const LauncherApp newer = entry("1+1 = 2", {}, nullptr, LauncherItemType::calculation);
    const LauncherApp installed = bundle("Installed");
    // Each case turns the list `before` into `after`; `local` tells whether the rows that both hold keep
    // their identity (persistent indexes follow them) rather than the model being reset.
    const auto without = [](std::vector<LauncherApp> apps, std::size_t at) {
        apps.erase(apps.begin() + static_cast<std::ptrdiff_t>(at));
        return apps;
    };
    const auto with = [](std::vector<LauncherApp> apps, std::size_t at, const LauncherApp& app) {
        apps.insert(apps.begin() + static_cast<std::ptrdiff_t>(at), app);
        return apps;
    };
    std::vector<LauncherApp> everyOther;
    for (std::size_t i = 0; i < all.size(); i += 2)
        everyOther.push_back(all[i]);
    std::vector<LauncherApp> firstHundredReversed(all.rbegin() + 200, all.rend());
    const struct {
        const char* what;
        std::vector<LauncherApp> before;
        std::vector<LauncherApp> after;
        bool local;
    } cases[] = {
        {"an application installed in the middle", all, with(all, 150, installed), true},
        {"an application removed at the end", all, without(all, 299), true},
        {"the calculator row made anew", with(all, 0, calculation), with(all, 0, newer), true},
        {"the calculator row gone", with(all, 0, calculation), all, true},
        {"64 rows reversed in the middle", all,
         [&] {
             std::vector<LauncherApp> apps = all;
             std::reverse(apps.begin() + 100, apps.begin() + 164);
             return apps;
         }(),
         true},
        {"every other row gone (typing)", all, everyOther, false},
        {"the whole list back after a search", everyOther, all, false},
        {"the first hundred reversed", all, firstHundredReversed, false},
        {"nothing left", all, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResultListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.setResults(c.before, 3);
        std::vector<QPersistentModelIndex> tracked;
        for (int r = 0; r < model.rowCount(); ++r)
            tracked.emplace_back(model.index(r));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        const std::int64_t selected = c.after.empty() ? 0 : 2;
        EXPECT_TRUE(model.setResults(c.after, selected));
        EXPECT_EQ(resets.count(), c.local ? 0 : 1);
        ASSERT_EQ(model.rowCount(), static_cast<int>(c.after.size()));
        for (int r = 0; r < model.rowCount(); ++r) {
            ASSERT_EQ(model.index(r).data(ResultListModel::idRole).toByteArray(), idOf(c.after[std::size_t(r)]))
                << "row " << r;
            ASSERT_EQ(model.index(r).data(RowContent::selectedRole).toBool(), r == selected) << "row " << r;
        }
        if (!c.local)
            continue;
        for (std::size_t i = 0; i < tracked.size(); ++i) {
            const auto found = std::find_if(c.after.begin(), c.after.end(),
                                            [&](const LauncherApp& app) { return app.id() == c.before[i].id(); });
            EXPECT_EQ(tracked[i].row(), found == c.after.end() ? -1 : static_cast<int>(found - c.after.begin()))
                << "the row that was " << i;
        }
    }
}

TEST(ResultListModel, TheSameRowsWithAnotherSelectionChangeOnlyTheTwoRowsThatFlipped)
{
    const std::vector<LauncherApp> all = catalogue(300);
    ResultListModel model;
    model.setResults(all, 5);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    EXPECT_FALSE(model.setResults(std::vector<LauncherApp>(all), 250)) << "a copy of the same records";
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 5);
    EXPECT_EQ(changed.at(1).at(0).value<QModelIndex>().row(), 250);
    EXPECT_TRUE(model.index(250).data(RowContent::selectedRole).toBool());
    EXPECT_FALSE(model.index(5).data(RowContent::selectedRole).toBool());
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
