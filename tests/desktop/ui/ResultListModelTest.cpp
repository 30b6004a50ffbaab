#include "ui/ResultListModel.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(ResultListModel, RowsKeepTheirIdentityWhileTheirIdStays)
{
    // Letters are applications, which keep their records (and ids) across rebuilds; '=' and '+' are the
    // calculator rows of two rebuilds, each made anew with its own id.
    struct Case {
        std::string before;
        std::string after;
    };
    const Case cases[] = {{"=AB", "+AB"}, {"ABCDE", "BD"}, {"BD", "ABCDE"}, {"ABC", "CAB"},
                          {"AB", "+B"},   {"=ABCD", "+DXAY"}, {"AB", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before + " -> " + c.after);
        std::map<char, LauncherApp> records;
        for (const char code : c.before + c.after)
            records.try_emplace(code, Uuid::random(), std::string(1, code), std::nullopt, nullptr, std::nullopt,
                                LauncherItemType::application, std::nullopt);
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
        model.setResults(next, 0);
        ASSERT_EQ(model.rowCount(), static_cast<int>(next.size()));
        for (int r = 0; r < model.rowCount(); ++r)
            EXPECT_EQ(model.app(model.index(r))->id(), next[static_cast<std::size_t>(r)].id()) << "row " << r;
        for (std::size_t i = 0; i < tracked.size(); ++i) {
            const std::size_t at = c.after.find(c.before[i]);
            EXPECT_EQ(tracked[i].row(), at == std::string::npos ? -1 : static_cast<int>(at)) << c.before[i];
        }
    }
}

} // namespace
} // namespace kestrel
