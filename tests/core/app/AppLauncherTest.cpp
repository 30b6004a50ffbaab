#include "app/AppLauncher.h"

#include "app/SearchIndex.h"
#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"
#include "support/ReferenceSearch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

using Strings = std::vector<std::string>;

/// Every port of the controller, each call journalled as a short text ("center", "open /x.app", ...). The
/// controller owns the instances that serve as its hot key and window; all of them write to one journal,
/// which also keeps the hot key callback, where a test can still press it after the controller is gone.
struct Journal {
    Strings calls;
    std::function<void(const Activation&)> press;
    std::function<void()> onRegister = [] {};
};
struct FakePorts : HotKey, SearchWindowPort, ApplicationActivator, Workspace, Pasteboard {
    explicit FakePorts(Journal& journal)
        : j(journal)
    {
    }
    void registerHotKey(std::function<void(const Activation&)> callback) override
    {
        j.calls.push_back("register");
        j.press = std::move(callback);
        j.onRegister();
    }
    void center() override { j.calls.push_back("center"); }
    void makeKeyAndOrderFront(const Activation& a) override
    {
        j.calls.push_back("front " + std::to_string(a.userTime));
    }
    void orderOut() override { j.calls.push_back("orderOut"); }
    void activateIgnoringOtherApps() override { j.calls.push_back("activate"); }
    void openApplication(const FileUrl& url) override { j.calls.push_back("open " + url.path()); }
    void clearContents() override { j.calls.push_back("clear"); }
    void setString(const std::string& text) override { j.calls.push_back("set " + text); }
    Journal& j;
};

/// The names (or the locations) of the rows, each followed by ", ".
std::string rows(const std::vector<LauncherApp>& apps, bool locations = false)
{
    std::string out;
    for (const LauncherApp& app : apps)
        out += (locations ? app.url()->path() : app.name()) + ", ";
    return out;
}

class AppLauncherTest : public ::testing::Test {
protected:
    AppLauncherTest() { m_environment.set("LC_ALL", "en_US.UTF-8"); }

    /// Over the eight bundles of Applications/, made afresh.
    std::unique_ptr<AppLauncher> makeLauncher()
    {
        std::filesystem::remove_all(m_tree.path("Applications"));
        for (const char* name : {"Safari", "Safari Technology Preview", "Archive Utility", "Calendar", "Game 42",
                                 "42 Clock", "2+3 Solver", "Notes"})
            m_tree.dir(std::string("Applications/") + name + ".app");
        const auto window = [this](AppLauncher&) {
            m_journal.calls.push_back("create window");
            return std::make_unique<FakePorts>(m_journal);
        };
        return std::make_unique<AppLauncher>(
            CatalogLocations{m_tree.root(), {}},
            LauncherServices{std::make_unique<FakePorts>(m_journal), window, &m_ports, &m_ports, &m_ports});
    }

    static void type(AppLauncher& launcher, const std::string& text)
    {
        launcher.setSearchText(text);
        launcher.updateSearchResults();
    }

    /// "shown" or "hidden", the search text in quotes, the selection, "/", the number of rows.
    static std::string state(const AppLauncher& l)
    {
        return (l.isSearchVisible() ? "shown '" : "hidden '") + l.searchText() + "' "
               + std::to_string(l.selectedIndex()) + "/" + std::to_string(l.filteredApps().size());
    }

    test::EnvironmentGuard m_environment;
    test::TempTree m_tree;
    Journal m_journal;
    FakePorts m_ports{m_journal};
};

// The key is registered before the scan (a bundle appearing meanwhile is listed); one window, created on the
// first press, is toggled by the key, each press bringing its time; the callback holds the controller weakly.
TEST_F(AppLauncherTest, HotKeyRegisteredFirstTogglesOneWindowAndIsDroppedWithTheController)
{
    m_journal.onRegister = [this] { m_tree.dir("Applications/Late Arrival.app"); };
    auto launcher = makeLauncher();
    EXPECT_EQ(m_journal.calls, Strings{"register"});
    EXPECT_EQ(state(*launcher), "hidden '' 0/9");

    const auto press = [&](std::uint32_t time) {
        m_journal.calls.clear();
        m_journal.press(Activation{time, "", ""});
        return m_journal.calls;
    };
    EXPECT_EQ(press(4711), (Strings{"create window", "center", "front 4711", "activate"}));
    type(*launcher, "ar");
    launcher->moveSelection(1);
    EXPECT_EQ(press(0), Strings{"orderOut"});
    EXPECT_EQ(state(*launcher), "hidden 'ar' 1/5");                  // hiding keeps the search
    EXPECT_EQ(press(0), (Strings{"center", "front 0", "activate"})); // the same window again

    launcher.reset();
    EXPECT_EQ(press(0), Strings{});
}

TEST_F(AppLauncherTest, NotifiesBeforeEveryAssignmentEvenOfAnUnchangedValue)
{
    const auto launcher = makeLauncher();
    Strings seen;
    launcher->objectWillChange().subscribe([&] { seen.push_back(state(*launcher)); });
    // The states the observer sees at the notifications that `step` sends.
    const auto during = [&](const std::function<void()>& step) {
        seen.clear();
        step();
        return seen;
    };
    const Strings unchanged{"hidden '' 0/8"};
    EXPECT_EQ(during([&] { launcher->setSearchText(""); }), unchanged);
    EXPECT_EQ(during([&] { launcher->setShowingSettings(false); }), unchanged);
    EXPECT_EQ(during([&] { launcher->setSelectedIndex(0); }), unchanged);
    EXPECT_EQ(during([&] { launcher->hideSearchWindow(); }), unchanged);
    EXPECT_EQ(during([&] { launcher->updateSearchResults(); }), Strings(2, "hidden '' 0/8"));
    type(*launcher, "zzzz");
    EXPECT_EQ(during([&] { launcher->activateSelected(); }), Strings{}) << "no row: nothing at all";
    type(*launcher, "ar");
    launcher->moveSelection(1);
    EXPECT_EQ(during([&] { launcher->showSearchWindow(); }),
              (Strings{"hidden 'ar' 1/4", "shown 'ar' 1/4", "shown '' 1/4", "shown '' 0/4", "shown '' 0/8"}));
    EXPECT_EQ(during([&] { launcher->activateSelected(); }), Strings{"shown '' 0/8"});
}

TEST(ObjectWillChangePublisher, ObserversMayChangeTheSubscriptionsDuringASend)
{
    ObjectWillChangePublisher publisher;
    Strings calls;
    ObjectWillChangePublisher::Subscription self = 0, later = 0;
    self = publisher.subscribe([&] {
        publisher.unsubscribe(self); // destroys the running observer's stored function...
        calls.push_back("self");     // ...which must still be able to reach its captures
    });
    publisher.subscribe([&] {
        calls.push_back("changer");
        publisher.unsubscribe(later);
        if (calls.size() == 2)
            publisher.subscribe([&] { calls.push_back("added"); }); // called from the next send on
    });
    later = publisher.subscribe([&] { calls.push_back("later"); });
    publisher.send();
    publisher.send();
    EXPECT_EQ(calls, (Strings{"self", "changer", "changer", "added"}));
}

TEST_F(AppLauncherTest, ResultListForTypedTextWithASelectionThatStaysInsideIt)
{
    const std::pair<std::string, std::string> cases[] = {
        // Prefix matches first, then the others, each group in collation order, whatever the case typed.
        {"S", "Safari, Safari Technology Preview, 2+3 Solver, Notes, "},
        // The calculator row comes first and keeps the typed spacing.
        {"2+3", "2+3 = 5, 2+3 Solver, "},
        {"2 + 3 ", "2 + 3  = 5, "},
        {"3 - -4", ""}, // an expression as typed, but not once the spaces are gone
        {"1/0", ""},    // the evaluation fails
    };
    const auto launcher = makeLauncher();
    for (const auto& [text, expected] : cases) {
        launcher->setSearchText(text);
        launcher->moveSelection(1);
        launcher->updateSearchResults();
        EXPECT_EQ(rows(launcher->filteredApps()), expected) << text;
        EXPECT_EQ(launcher->selectedIndex(), 0) << "the first row is selected for " << text;
    }

    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    // For a text ("ar": four rows, "zzzz": none), moves by each offset, then writes a value as a click does.
    const std::tuple<std::string, std::vector<std::int64_t>, std::int64_t, std::vector<std::int64_t>> moves[] = {
        {"ar", {5, -1, -7, max, max, min}, -5, {3, 2, 0, 3, 3, 0, 0}},
        {"zzzz", {1, -1}, 3, {0, 0, 0}},
    };
    for (const auto& [text, offsets, written, expected] : moves) {
        type(*launcher, text);
        std::vector<std::int64_t> seen;
        for (const std::int64_t offset : offsets) {
            launcher->moveSelection(offset);
            seen.push_back(launcher->selectedIndex());
        }
        launcher->setSelectedIndex(written);
        seen.push_back(launcher->selectedIndex());
        EXPECT_EQ(seen, expected) << text;
    }
}

// A catalogue rebuilt while the window is shown: the typed text stays, the selection follows its application
// (by location) or keeps its position, a calculator row stays the same record, both are published, and
// Return acts on the list as it is after the swap. While hidden nothing changes, and the next show lists the
// new catalogue, also when the old list was the whole catalogue (which a show does not copy again).
TEST_F(AppLauncherTest, ReplacedCatalogueKeepsTextAndSelectionAndReachesAHiddenWindowAtTheNextShow)
{
    const auto opens = [this](const std::string& bundle) { return Strings{"open " + m_tree.path(bundle), "orderOut"}; };
    const struct {
        std::string text;
        std::int64_t moves;
        bool hidden;
        std::string bundle;     // in Applications/: made when missing, else removed
        std::string stateAfter; // when hidden: after the next show
        Strings returnCalls;
    } cases[] = {
        // A new match ahead of the selected row: the selection moves with its application.
        {"ar", 1, false, "Argon", "shown 'ar' 2/5", opens("Applications/Calendar.app")},
        // The selected application is gone: the same position, clamped, and Return opens what is there now.
        {"ar", 3, false, "Safari Technology Preview", "shown 'ar' 2/3", opens("Applications/Safari.app")},
        // The only match is gone: nothing is launched and the window stays.
        {"cal", 0, false, "Calendar", "shown 'cal' 0/0", {}},
        {"2+3", 0, false, "2+3 Adder", "shown '2+3' 0/3", {"clear", "set 5.0", "orderOut"}},
        // Hidden on the whole catalogue, which a show does not copy again.
        {"", 0, true, "Argon", "shown '' 0/9", opens("Applications/2+3 Solver.app")},
    };
    for (const auto& c : cases) {
        int notifications = 0;
        const auto launcher = makeLauncher();
        launcher->showSearchWindow();
        type(*launcher, c.text);
        launcher->moveSelection(c.moves);
        if (c.hidden)
            launcher->hideSearchWindow();
        const std::string before = rows(launcher->filteredApps());
        const Uuid firstId = launcher->filteredApps().at(0).id();
        const std::string bundle = "Applications/" + c.bundle + ".app";
        std::filesystem::exists(m_tree.path(bundle)) ? (void)std::filesystem::remove_all(m_tree.path(bundle))
                                                     : (void)m_tree.dir(bundle);
        launcher->objectWillChange().subscribe([&] { ++notifications; });
        launcher->replaceCatalog(Catalog::build(launcher->applicationIndex().locations()));
        EXPECT_EQ(notifications, c.hidden ? 0 : 2) << c.stateAfter;
        if (c.hidden) {
            EXPECT_EQ(rows(launcher->filteredApps()), before) << c.text;
            launcher->showSearchWindow();
        }
        EXPECT_EQ(state(*launcher), c.stateAfter);
        EXPECT_TRUE(c.text != "2+3" || launcher->filteredApps().front().id() == firstId) << "a new calculator row";
        m_journal.calls.clear();
        launcher->activateSelected();
        EXPECT_EQ(m_journal.calls, c.returnCalls) << c.stateAfter;
        EXPECT_EQ(launcher->isSearchVisible(), c.returnCalls.empty()) << c.stateAfter;
    }
}

// Generated catalogues of names built from pieces that make ordering and matching hard (case pairs, composed
// and decomposed accents, a bare combining mark, letters whose lower case changes length, ligatures, spaces,
// operators), searched for whole names and for random pieces: the index must give the plain search's list.
TEST(SearchIndex, MatchesThePlainSearchOnGeneratedCatalogues)
{
    // clang-format off
    const Strings pieces = {"a", "A", "e", "E", "\u00e9", "e\u0301", "\u00c9", "\u00df", "ss", "SS", " ", "\u00e4",
                            "a\u0308", "\u00c4", "o", "\u00f6", "z", "Z", "1", "+", "\u01c5", "\ufb01", "\u0130", "i",
                            "I", "\u0301", "\u65e5", "\t", "ch", "\u0131"};
    // clang-format on
    std::mt19937 random(20240611);
    const auto piece = [&] { return pieces[random() % pieces.size()]; };
    const char* const locales[] = {"en_US", "sv_SE", "tr_TR", "es_ES@collation=traditional"};
    std::size_t comparedRows = 0;
    for (int round = 0; round < 60; ++round) {
        const char* const locale = locales[round % 4];
        const text::LocaleCollator collator(locale);
        std::vector<LauncherApp> apps;
        for (std::size_t i = 0, count = 1 + random() % 60; i < count; ++i) {
            std::string name = i > 0 && random() % 5 == 0 ? apps[random() % i].name() : ""; // an exact duplicate
            for (std::size_t k = name.empty() ? random() % 7 : 0; k > 0; --k)
                name += piece();
            apps.emplace_back(Uuid::random(), name, FileUrl::fromPath("/" + std::to_string(i)), nullptr, std::nullopt,
                              LauncherItemType::application, std::nullopt);
        }
        const SearchIndex index(apps, collator);
        for (int q = 0; q < 20; ++q) {
            const std::string query =
                q % 3 == 0 ? apps[random() % apps.size()].name() : piece() + (q % 3 == 1 ? "" : piece());
            std::vector<LauncherApp> expected = referenceSearchResults(apps, query, collator), actual;
            if (query.empty() || (!expected.empty() && expected.front().type() == LauncherItemType::calculation))
                continue; // the index lists applications only
            index.appendMatches(query, actual);
            ASSERT_EQ(rows(actual, true), rows(expected, true)) << locale << " '" << query << "'";
            comparedRows += actual.size();
        }
    }
    EXPECT_GT(comparedRows, 2000u) << "the generator must produce real work";
}

} // namespace
} // namespace kestrel
