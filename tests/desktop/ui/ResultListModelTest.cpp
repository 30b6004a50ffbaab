#include "ui/ResultListModel.h"

#include "ui/RowContent.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestrel {
namespace {

LauncherApp entry(std::string name, std::optional<FileUrl> url = {}, IconRef icon = nullptr,
                  LauncherItemType type = LauncherItemType::application)
{
    return LauncherApp(Uuid::random(), std::move(name), std::move(url), std::move(icon), std::nullopt, type,
                       std::nullopt);
}

TEST(ResultListModel, RowsKeepTheirIdentityWhileTheirIdStays)
{
    // Letters are applications, which keep their records (and ids) across rebuilds; '=' and '+' are the
    // calculator rows of two rebuilds, each made anew with its own id.
    const struct {
        std::string before;
        std::string after;
    } cases[] = {{"=AB", "+AB"}, {"ABCDE", "BD"}, {"BD", "ABCDE"}, {"ABC", "CAB"}, {"=ABCD", "+DXAY"}, {"AB", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before + " -> " + c.after);
        std::map<char, LauncherApp> records;
        for (const char code : c.before + c.after)
            records.try_emplace(code, entry(std::string(1, code)));
        const auto rows = [&records](const std::string& codes) {
            std::vector<LauncherApp> apps;
            for (const char code : codes)
                apps.push_back(records.at(code));
            return apps;
        };
        ResultListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.setResults(rows(c.before), 0);
        std::vector<QPersistentModelIndex> tracked;
        for (int r = 0; r < model.rowCount(); ++r)
            tracked.emplace_back(model.index(r));

        const std::vector<LauncherApp> next = rows(c.after);
        EXPECT_TRUE(model.setResults(next, 0));
        ASSERT_EQ(model.rowCount(), static_cast<int>(next.size()));
        for (int r = 0; r < model.rowCount(); ++r)
            EXPECT_EQ(model.app(model.index(r))->id(), next[static_cast<std::size_t>(r)].id()) << "row " << r;
        for (std::size_t i = 0; i < tracked.size(); ++i) {
            const std::size_t at = c.after.find(c.before[i]);
            EXPECT_EQ(tracked[i].row(), at == std::string::npos ? -1 : static_cast<int>(at)) << c.before[i];
        }
    }
}

TEST(ResultListModel, EachRowAnswersTheRolesTheRowDelegateReads)
{
    const IconRef icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::themeIcon, "safari"});
    const std::vector<LauncherApp> apps = {entry("Safari", FileUrl::fromPath("/Applications/Safari.app"), icon),
                                           entry("Notes"),
                                           entry("2+3 = 5", {}, nullptr, LauncherItemType::calculation)};
    const struct {
        const char* subtitle;
        bool calculation;
        const char* spoken;
    } rows[] = {
        {"/Applications/Safari.app", false, "Safari, /Applications/Safari.app"},
        {"", false, "Notes"},
        {"Press Enter to copy result", true, "2+3 = 5, Press Enter to copy result"},
    };
    ResultListModel model;
    for (int selected = 0; selected < 3; ++selected) {
        EXPECT_EQ(model.setResults(apps, selected), selected == 0) << "only the first call changes the rows";
        for (int r = 0; r < 3; ++r) {
            SCOPED_TRACE(apps[r].name());
            const RowContent shown = RowContent::read(model.index(r));
            EXPECT_EQ(shown.title.toStdString(), apps[r].name());
            EXPECT_EQ(shown.subtitle.toStdString(), rows[r].subtitle);
            EXPECT_EQ(shown.calculation, rows[r].calculation);
            EXPECT_EQ(shown.icon, apps[r].icon());
            EXPECT_EQ(shown.selected, r == selected);
            EXPECT_EQ(model.index(r).data(Qt::AccessibleTextRole).toString().toStdString(), rows[r].spoken);
        }
    }
}

} // namespace
} // namespace kestrel
