#include "app/AppLauncher.h"

#include "app/CalculatorRow.h"
#include "FakeServices.h"
#include "FixtureTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

using testing::FakeDesktop;
using testing::FixtureTree;
using testing::ScopedEnv;

/// The rows as texts: an application by its name, the calculator row as "calc:" and its name.
std::vector<std::string> describe(const std::vector<LauncherApp>& rows)
{
    std::vector<std::string> out;
    for (const LauncherApp& row : rows) {
        out.push_back(row.type() == LauncherItemType::calculation ? "calc:" + row.name() : row.name());
    }
    return out;
}

std::vector<Uuid> ids(const std::vector<LauncherApp>& rows)
{
    std::vector<Uuid> out;
    for (const LauncherApp& row : rows) {
        out.push_back(row.id());
    }
    return out;
}

class AppLauncherTest : public ::testing::Test {
protected:
    AppLauncherTest()
    {
        for (const char* name : {"Safari", "Safari Technology Preview", "Archive Utility", "Calendar", "Game 42",
                                 "42 Clock", "2+3 Solver", "Notes", "Mail"}) {
            tree.addBundle(name);
        }
        tree.addBundle("mail", "System/Applications");
    }

    std::unique_ptr<AppLauncher> makeLauncher(std::function<void()> onRegister = {})
    {
        return std::make_unique<AppLauncher>(CatalogLocations{tree.bundleRoot(), {}},
                                             desktop.services(std::move(onRegister)));
    }

    /// Types `text` into a freshly shown window, as the search view does.
    static void type(AppLauncher& launcher, const std::string& text)
    {
        launcher.setSearchText(text);
        launcher.updateSearchResults();
    }

    std::string bundlePath(const std::string& name, const std::string& directory = "Applications") const
    {
        return tree.bundleRoot() + "/" + directory + "/" + name + ".app";
    }

    ScopedEnv locale{"LC_ALL", "en_US.UTF-8"};
    FixtureTree tree;
    FakeDesktop desktop;
};

TEST_F(AppLauncherTest, ConstructionRegistersTheKeyBeforeTheScanAndListsTheWholeCatalogue)
{
    // A bundle that appears while the key is being registered is found only if the scan comes after.
    auto launcher = makeLauncher([this] { tree.addBundle("Late Arrival"); });

    EXPECT_EQ(desktop.journal.calls, std::vector<std::string>{"register"});
    const std::vector<LauncherApp>& apps = launcher->applicationIndex().apps();
    EXPECT_EQ(apps.size(), 11u);
    EXPECT_EQ(ids(launcher->filteredApps()), ids(apps));
    const std::vector<std::string> names = describe(apps);
    EXPECT_NE(std::find(names.begin(), names.end(), "Late Arrival"), names.end());
    EXPECT_FALSE(launcher->isSearchVisible());
    EXPECT_EQ(launcher->searchText(), "");
    EXPECT_EQ(launcher->selectedIndex(), 0);
    EXPECT_FALSE(launcher->showingSettings());
    EXPECT_EQ(launcher->searchWindow(), nullptr);
    EXPECT_EQ(desktop.journal.windowsCreated, 0);
}

TEST_F(AppLauncherTest, WorksWithoutAnyDesktopService)
{
    // A failed key registration leaves no callback; missing services must not stop the controller.
    AppLauncher launcher(CatalogLocations{tree.bundleRoot(), {}}, LauncherServices{});
    EXPECT_EQ(launcher.filteredApps().size(), 10u);

    launcher.toggleSearchWindow();
    EXPECT_TRUE(launcher.isSearchVisible());
    EXPECT_EQ(launcher.searchWindow(), nullptr);
    type(launcher, "2+3");
    launcher.activateSelected();
    EXPECT_FALSE(launcher.isSearchVisible());
    type(launcher, "safari");
    launcher.activateSelected();
}

TEST_F(AppLauncherTest, HotKeyTogglesOneWindowThatIsCreatedOnceAndReused)
{
    auto launcher = makeLauncher();
    desktop.journal.calls.clear();

    desktop.pressHotKey();
    EXPECT_EQ(desktop.journal.calls,
              (std::vector<std::string>{"create window", "center", "makeKeyAndOrderFront", "activate"}));
    EXPECT_TRUE(launcher->isSearchVisible());
    SearchWindowPort* const window = launcher->searchWindow();
    ASSERT_NE(window, nullptr);

    type(*launcher, "ar");
    launcher->moveSelection(1);
    desktop.journal.calls.clear();
    desktop.pressHotKey();
    EXPECT_EQ(desktop.journal.calls, std::vector<std::string>{"orderOut"});
    EXPECT_FALSE(launcher->isSearchVisible());
    // Hiding keeps the search as it was.
    EXPECT_EQ(launcher->searchText(), "ar");
    EXPECT_EQ(launcher->filteredApps().size(), 4u);
    EXPECT_EQ(launcher->selectedIndex(), 1);

    desktop.journal.calls.clear();
    desktop.pressHotKey();
    EXPECT_EQ(desktop.journal.calls, (std::vector<std::string>{"center", "makeKeyAndOrderFront", "activate"}));
    EXPECT_EQ(launcher->searchWindow(), window);
    EXPECT_EQ(desktop.journal.windowsCreated, 1);
    EXPECT_TRUE(launcher->isSearchVisible());
    EXPECT_EQ(launcher->searchText(), "");
    EXPECT_EQ(launcher->selectedIndex(), 0);
    EXPECT_EQ(ids(launcher->filteredApps()), ids(launcher->applicationIndex().apps()));
}

TEST_F(AppLauncherTest, HotKeyCallbackDoesNothingOnceTheControllerIsGone)
{
    auto launcher = makeLauncher();
    desktop.pressHotKey();
    ASSERT_TRUE(launcher->isSearchVisible());

    launcher.reset();
    desktop.journal.calls.clear();
    desktop.pressHotKey();
    EXPECT_TRUE(desktop.journal.calls.empty());
}

TEST_F(AppLauncherTest, EveryAssignmentNotifiesEvenWhenTheValueIsUnchanged)
{
    struct Case {
        const char* what;
        std::function<void(AppLauncher&)> setup;
        std::function<void(AppLauncher&)> operation;
        int notifications;
    };
    const std::vector<Case> cases = {
        {"same search text", {}, [](AppLauncher& l) { l.setSearchText(""); }, 1},
        {"same settings flag", {}, [](AppLauncher& l) { l.setShowingSettings(false); }, 1},
        {"same selection", {}, [](AppLauncher& l) { l.setSelectedIndex(0); }, 1},
        {"move up at the top", {}, [](AppLauncher& l) { l.moveSelection(-1); }, 1},
        {"hide while hidden", {}, [](AppLauncher& l) { l.hideSearchWindow(); }, 1},
        {"rebuild the results", {}, [](AppLauncher& l) { l.updateSearchResults(); }, 2},
        {"rebuild for a text", [](AppLauncher& l) { l.setSearchText("2+3"); },
         [](AppLauncher& l) { l.updateSearchResults(); }, 2},
        {"first show", {}, [](AppLauncher& l) { l.showSearchWindow(); }, 5},
        {"show again with nothing to reset",
         [](AppLauncher& l) {
             l.showSearchWindow();
             l.hideSearchWindow();
         },
         [](AppLauncher& l) { l.showSearchWindow(); }, 5},
        {"toggle while shown", [](AppLauncher& l) { l.showSearchWindow(); },
         [](AppLauncher& l) { l.toggleSearchWindow(); }, 1},
        {"activate a row", [](AppLauncher& l) { l.showSearchWindow(); },
         [](AppLauncher& l) { l.activateSelected(); }, 1},
        {"activate with no rows",
         [](AppLauncher& l) {
             l.showSearchWindow();
             type(l, "zzzz");
         },
         [](AppLauncher& l) { l.activateSelected(); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto launcher = makeLauncher();
        if (c.setup) {
            c.setup(*launcher);
        }
        int sent = 0;
        launcher->objectWillChange().subscribe([&sent] { ++sent; });
        c.operation(*launcher);
        EXPECT_EQ(sent, c.notifications);
    }
}

TEST_F(AppLauncherTest, ShowNotifiesBeforeEachAssignmentInItsOrder)
{
    auto launcher = makeLauncher();
    launcher->showSearchWindow();
    type(*launcher, "ar");
    launcher->moveSelection(1);
    launcher->hideSearchWindow();

    using Seen = std::tuple<bool, std::string, std::int64_t, std::size_t>;
    std::vector<Seen> seen;
    launcher->objectWillChange().subscribe([&] {
        seen.emplace_back(launcher->isSearchVisible(), launcher->searchText(), launcher->selectedIndex(),
                          launcher->filteredApps().size());
    });
    launcher->showSearchWindow();

    // Each entry is the state just before one assignment: visible, text, selection, the list, selection.
    const std::vector<Seen> expected = {
        {false, "ar", 1, 4}, {true, "ar", 1, 4}, {true, "", 1, 4}, {true, "", 0, 4}, {true, "", 0, 10}};
    EXPECT_EQ(seen, expected);
}

TEST_F(AppLauncherTest, ResultListForTypedText)
{
    struct Case {
        std::string text;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        // Prefix matches first, then the others, each group alphabetical.
        {"ar", {"Archive Utility", "Calendar", "Safari", "Safari Technology Preview"}},
        {"AR", {"Archive Utility", "Calendar", "Safari", "Safari Technology Preview"}},
        {"saf", {"Safari", "Safari Technology Preview"}},
        {"SAF", {"Safari", "Safari Technology Preview"}},
        // Not trimmed: the space must follow the word.
        {"safari ", {"Safari Technology Preview"}},
        // A text of spaces is a search like any other.
        {" ", {"2+3 Solver", "42 Clock", "Archive Utility", "Game 42", "Safari Technology Preview"}},
        // Names that differ in case only keep the catalogue's order (/Applications before /System).
        {"ma", {"Mail", "mail"}},
        {"zzzz", {}},
        // Digits alone are no expression.
        {"42", {"42 Clock", "Game 42"}},
        // The calculator row comes first and keeps the typed spacing in its name.
        {"2+3", {"calc:2+3 = 5", "2+3 Solver"}},
        {"2 + 3", {"calc:2 + 3 = 5"}},
        {"2+3 ", {"calc:2+3  = 5", "2+3 Solver"}},
        {"0.1+0.2", {"calc:0.1+0.2 = 0.3"}},
        {"(2+3)/4", {"calc:(2+3)/4 = 1.25"}},
        // Recognised as typed, but not once the spaces are gone.
        {"3 - -4", {}},
        // Recognised, but the evaluation fails.
        {"1/0", {}},
        {"1.2.3+4", {}},
    };
    auto launcher = makeLauncher();
    launcher->showSearchWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        launcher->setSearchText(c.text);
        launcher->moveSelection(1);
        launcher->updateSearchResults();
        EXPECT_EQ(describe(launcher->filteredApps()), c.rows);
        EXPECT_EQ(launcher->selectedIndex(), 0);
    }
}

TEST_F(AppLauncherTest, CalculatorRowShape)
{
    auto launcher = makeLauncher();
    type(*launcher, "2 + 3");
    const LauncherApp spaced = launcher->filteredApps().at(0);
    type(*launcher, "2+3");
    const LauncherApp first = launcher->filteredApps().at(0);
    const Uuid firstAppId = launcher->filteredApps().at(1).id();
    type(*launcher, "2+3");
    const LauncherApp second = launcher->filteredApps().at(0);

    EXPECT_EQ(spaced.calculationResult(), first.calculationResult());
    EXPECT_EQ(first.calculationResult(), std::optional<double>(5.0));
    EXPECT_FALSE(first.url().has_value());
    EXPECT_FALSE(first.bundleIdentifier().has_value());
    ASSERT_NE(first.icon(), nullptr);
    EXPECT_EQ(first.icon()->kind, IconSource::Kind::symbol);
    EXPECT_EQ(first.icon()->value, "calculator");
    EXPECT_EQ(first.icon()->accessibilityDescription, "Calculator");
    // Every rebuild makes a new calculator row; application records keep their identity.
    EXPECT_NE(first.id(), second.id());
    EXPECT_EQ(launcher->filteredApps().at(1).id(), firstAppId);
}

TEST_F(AppLauncherTest, EmptyTextListsTheCatalogueUnchanged)
{
    auto launcher = makeLauncher();
    type(*launcher, "ar");
    type(*launcher, "");
    EXPECT_EQ(ids(launcher->filteredApps()), ids(launcher->applicationIndex().apps()));
}

TEST_F(AppLauncherTest, SelectionStaysInsideTheList)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    struct Case {
        std::string text; // "ar" gives four rows, "zzzz" none
        std::vector<std::int64_t> offsets;
        std::vector<std::int64_t> expected;
    };
    const std::vector<Case> cases = {
        {"ar", {1, 1, 1, 1}, {1, 2, 3, 3}},
        {"ar", {1, 1, -1, -1, -1}, {1, 2, 1, 0, 0}},
        {"ar", {5}, {3}},
        {"ar", {0}, {0}},
        {"zzzz", {1, -1, 3}, {0, 0, 0}},
        {"ar", {max, max}, {3, 3}},
        {"ar", {1, min}, {1, 0}},
    };
    auto launcher = makeLauncher();
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        type(*launcher, c.text);
        std::vector<std::int64_t> seen;
        for (const std::int64_t offset : c.offsets) {
            launcher->moveSelection(offset);
            seen.push_back(launcher->selectedIndex());
        }
        EXPECT_EQ(seen, c.expected);
    }

    const std::vector<std::tuple<std::string, std::int64_t, std::int64_t>> written = {
        {"ar", 1, 1}, {"ar", -5, 0}, {"ar", 7, 3}, {"zzzz", 3, 0}, {"zzzz", -1, 0}};
    for (const auto& [text, index, expected] : written) {
        SCOPED_TRACE("text '" + text + "' index " + std::to_string(index));
        type(*launcher, text);
        launcher->setSelectedIndex(index);
        EXPECT_EQ(launcher->selectedIndex(), expected);
    }
}

TEST_F(AppLauncherTest, ActivationCarriesOutTheSelectedRowAndHides)
{
    struct Case {
        std::string text;
        std::int64_t moves;
        std::vector<std::string> calls;
        bool visibleAfter;
    };
    const std::vector<Case> cases = {
        {"2+3", 0, {"clear", "set 5.0", "orderOut"}, false},
        {"0.1+0.2", 0, {"clear", "set 0.30000000000000004", "orderOut"}, false},
        {"2+3", 1, {"open " + bundlePath("2+3 Solver"), "orderOut"}, false},
        {"ar", 1, {"open " + bundlePath("Calendar"), "orderOut"}, false},
        {"ma", 1, {"open " + bundlePath("mail", "System/Applications"), "orderOut"}, false},
        // Return with nothing to act on changes nothing, and the window stays.
        {"zzzz", 0, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        auto launcher = makeLauncher();
        launcher->showSearchWindow();
        type(*launcher, c.text);
        launcher->moveSelection(c.moves);
        desktop.journal.calls.clear();

        launcher->activateSelected();
        EXPECT_EQ(desktop.journal.calls, c.calls);
        EXPECT_EQ(launcher->isSearchVisible(), c.visibleAfter);
        EXPECT_EQ(launcher->searchText(), c.text);
        EXPECT_EQ(launcher->selectedIndex(), c.moves);
    }
}

// Rows of these shapes never reach the list through the catalogue, so they are handed over directly.
TEST_F(AppLauncherTest, LaunchItemSkipsRowsWithNothingToDo)
{
    const auto calculation = [](std::optional<double> result) {
        return LauncherApp(Uuid::random(), "1+1 = 2", std::nullopt, calculatorIcon(), std::nullopt,
                           LauncherItemType::calculation, result);
    };
    const std::vector<LauncherApp> items = {
        LauncherApp(Uuid::random(), "Ghost", std::nullopt, nullptr, std::nullopt, LauncherItemType::application,
                    std::nullopt),
        calculation(std::nullopt),
        calculation(std::numeric_limits<double>::infinity()),
        calculation(std::numeric_limits<double>::quiet_NaN()),
    };
    auto launcher = makeLauncher();
    desktop.journal.calls.clear();
    for (const LauncherApp& item : items) {
        launcher->launchItem(item);
    }
    EXPECT_TRUE(desktop.journal.calls.empty());
}

} // namespace
} // namespace kestrel
