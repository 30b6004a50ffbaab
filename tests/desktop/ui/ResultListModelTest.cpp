#include "ui/AppRow.h"
#include "ui/ResultListModel.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestrel {
namespace {

/// Builds rows from short codes: "A" is the application named A at /Applications/A.app, "=1" a calculator
/// row. The same code maps to the same record (and id) throughout one `Rows`, as the catalogue's records do;
/// `fresh` gives a code a new record, as each rebuild does for the calculator row.
class Rows {
public:
    std::vector<LauncherApp> operator()(const std::vector<std::string>& codes)
    {
        std::vector<LauncherApp> rows;
        for (const std::string& code : codes) {
            auto found = m_records.find(code);
            if (found == m_records.end()) {
                found = m_records.emplace(code, make(code)).first;
            }
            rows.push_back(found->second);
        }
        return rows;
    }
    void fresh(const std::string& code) { m_records.erase(code); }

private:
    static LauncherApp make(const std::string& code)
    {
        if (code.front() == '=') {
            return LauncherApp(Uuid::random(), "1+1 = 2", std::nullopt, nullptr, std::nullopt,
                               LauncherItemType::calculation, 2.0);
        }
        return LauncherApp(Uuid::random(), code, FileUrl::fromPath("/Applications/" + code + ".app"), nullptr,
                           std::nullopt, LauncherItemType::application, std::nullopt);
    }

    std::map<std::string, LauncherApp> m_records;
};

std::vector<std::string> shownNames(const ResultListModel& model)
{
    std::vector<std::string> names;
    for (int row = 0; row < model.rowCount(); ++row) {
        names.push_back(model.data(model.index(row)).toString().toStdString());
    }
    return names;
}

struct Transition {
    const char* name;
    std::vector<std::string> before;
    std::vector<std::string> after;
    bool calculatorRebuilt;
};

class ResultListModelTransition : public ::testing::TestWithParam<Transition> {};

TEST_P(ResultListModelTransition, KeepsRowsWhoseIdStaysAndReplacesTheOthers)
{
    const Transition& transition = GetParam();
    Rows rows;
    ResultListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setResults(rows(transition.before), 0);

    std::map<std::string, QPersistentModelIndex> tracked;
    for (int row = 0; row < model.rowCount(); ++row) {
        tracked.emplace(transition.before[static_cast<std::size_t>(row)], QPersistentModelIndex(model.index(row)));
    }
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    if (transition.calculatorRebuilt) {
        rows.fresh("=1");
    }
    const std::vector<LauncherApp> next = rows(transition.after);
    EXPECT_TRUE(model.setResults(next, 0));

    std::vector<std::string> expectedNames;
    for (const LauncherApp& app : next) {
        expectedNames.push_back(app.name());
    }
    EXPECT_EQ(shownNames(model), expectedNames);
    ASSERT_EQ(model.rowCount(), static_cast<int>(next.size()));
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_EQ(model.app(model.index(row))->id(), next[static_cast<std::size_t>(row)].id()) << "row " << row;
    }
    EXPECT_EQ(resets.count(), 0);

    for (const auto& [code, index] : tracked) {
        const auto position = std::find(transition.after.begin(), transition.after.end(), code);
        const bool survives = position != transition.after.end() && !(transition.calculatorRebuilt && code == "=1");
        if (survives) {
            ASSERT_TRUE(index.isValid()) << code << " lost its index";
            EXPECT_EQ(index.row(), position - transition.after.begin()) << code;
        } else {
            EXPECT_FALSE(index.isValid()) << code << " should have been removed";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transitions, ResultListModelTransition,
    ::testing::Values(
        Transition{"calculatorRowReplaced", {"=1", "A", "B"}, {"=1", "A", "B"}, true},
        Transition{"narrowed", {"A", "B", "C", "D", "E"}, {"B", "D"}, false},
        Transition{"widened", {"B", "D"}, {"A", "B", "C", "D", "E"}, false},
        Transition{"prefixMatchesMoveFirst", {"A", "B", "C"}, {"C", "A", "B"}, false},
        Transition{"calculatorAppearsAboveApps", {"A", "B"}, {"=1", "B"}, false},
        Transition{"everythingMixed", {"=1", "A", "B", "C", "D"}, {"=1", "D", "X", "A", "Y"}, true},
        Transition{"emptied", {"A", "B"}, {}, false},
        Transition{"filledFromEmpty", {}, {"A", "B"}, false}),
    [](const ::testing::TestParamInfo<Transition>& param) { return std::string(param.param.name); });

TEST(ResultListModel, SameRowsWithAnotherSelectionOnlyRepaintTheTwoRows)
{
    Rows rows;
    ResultListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setResults(rows({"A", "B", "C", "D"}), 0);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);

    EXPECT_FALSE(model.setResults(rows({"A", "B", "C", "D"}), 2));

    EXPECT_EQ(inserted.count() + removed.count() + layouts.count(), 0);
    std::vector<int> repainted;
    for (const QList<QVariant>& signal : changed) {
        const auto first = signal.at(0).value<QModelIndex>();
        const auto last = signal.at(1).value<QModelIndex>();
        for (int row = first.row(); row <= last.row(); ++row) {
            repainted.push_back(row);
        }
    }
    std::sort(repainted.begin(), repainted.end());
    EXPECT_EQ(repainted, (std::vector<int>{0, 2}));

    std::vector<bool> selected;
    for (int row = 0; row < model.rowCount(); ++row) {
        selected.push_back(model.data(model.index(row), ResultListModel::SelectedRole).toBool());
    }
    EXPECT_EQ(selected, (std::vector<bool>{false, false, true, false}));

    model.setResults(rows({"A", "B", "C", "D"}), 4); // past the end: no row is drawn selected
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_FALSE(model.data(model.index(row), ResultListModel::SelectedRole).toBool()) << row;
    }
}

TEST(ResultListModel, AccessibleTextSaysWhatTheSubtitleShows)
{
    const LauncherApp withPath(Uuid::random(), "Safari", FileUrl::fromPath("/Applications/Safari.app"), nullptr,
                               std::nullopt, LauncherItemType::application, std::nullopt);
    const LauncherApp withoutPath(Uuid::random(), "Notes", std::nullopt, nullptr, std::nullopt,
                                  LauncherItemType::application, std::nullopt);
    const LauncherApp calculation(Uuid::random(), "2+3 = 5", std::nullopt, nullptr, std::nullopt,
                                  LauncherItemType::calculation, 5.0);
    ResultListModel model;
    model.setResults({withPath, withoutPath, calculation}, 0);

    const std::vector<std::string> expected = {"Safari, /Applications/Safari.app", "Notes",
                                               "2+3 = 5, Press Enter to copy result"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(model.data(model.index(row), Qt::AccessibleTextRole).toString().toStdString(),
                  expected[static_cast<std::size_t>(row)]);
    }
    EXPECT_EQ(model.app(QModelIndex()), nullptr);
    EXPECT_EQ(model.app(model.index(3)), nullptr);
}

} // namespace
} // namespace kestrel
