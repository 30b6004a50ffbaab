#include "app/AppLauncher.h"

#include "app/SearchIndex.h"
#include "text/UnicodeText.h"
#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"
#include "support/ReferenceSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
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

/// The desktop services, each call journalled as a short text ("center", "open /x.app", ...). The hot key
/// callback is kept here, where a test can still press it after the controller is gone.
struct FakeDesktop : ApplicationActivator, Workspace, Pasteboard {
    struct Key : HotKey {
        explicit Key(FakeDesktop& owner) : d(owner) {}
        void registerHotKey(std::function<void(const Activation&)> callback) override
        {
            d.calls.push_back("register");
            d.press = std::move(callback);
            if (d.onRegister)
                d.onRegister();
        }
        FakeDesktop& d;
    };
    struct Window : SearchWindowPort {
        explicit Window(Strings& journal) : calls(journal) {}
        void center() override { calls.push_back("center"); }
        void makeKeyAndOrderFront(const Activation& a) override
        {
            calls.push_back(a.userTime ? "front at " + std::to_string(a.userTime) : "front");
        }
        void orderOut() override { calls.push_back("orderOut"); }
        Strings& calls;
    };
    void activateIgnoringOtherApps() override { calls.push_back("activate"); }
    void openApplication(const FileUrl& url) override { calls.push_back("open " + url.path()); }
    void clearContents() override { calls.push_back("clear"); }
    void setString(const std::string& text) override { calls.push_back("set " + text); }

    Strings calls;
    std::function<void(const Activation&)> press;
    std::function<void()> onRegister;
};

class AppLauncherTest : public ::testing::Test {
protected:
    AppLauncherTest()
    {
        m_environment.set("LC_ALL", "en_US.UTF-8");
        addBundles();
        m_tree.dir("System/Applications/mail.app");
    }

    void addBundles() const
    {
        for (const char* name : {"Safari", "Safari Technology Preview", "Archive Utility", "Calendar", "Game 42", "42 Clock",
                                 "2+3 Solver", "Notes", "Mail"})
            m_tree.dir(std::string("Applications/") + name + ".app");
    }

    std::unique_ptr<AppLauncher> makeLauncher()
    {
        const auto window = [this](AppLauncher&) {
            m_desktop.calls.push_back("create window");
            return std::make_unique<FakeDesktop::Window>(m_desktop.calls);
        };
        return std::make_unique<AppLauncher>(CatalogLocations{m_tree.root(), {}},
                                             LauncherServices{std::make_unique<FakeDesktop::Key>(m_desktop), window,
                                                              &m_desktop, &m_desktop, &m_desktop});
    }

    static void type(AppLauncher& launcher, const std::string& text)
    {
        launcher.setSearchText(text);
        launcher.updateSearchResults();
    }

    /// "shown" or "hidden", the search text in quotes, the selection, "/", the number of rows.
    static std::string state(const AppLauncher& l)
    {
        return (l.isSearchVisible() ? "shown '" : "hidden '") + l.searchText() + "' " + std::to_string(l.selectedIndex())
               + "/" + std::to_string(l.filteredApps().size());
    }

    /// The rows as texts: an application by its name, the calculator row as "calc:" and its name.
    static Strings rows(const std::vector<LauncherApp>& apps)
    {
        Strings out;
        for (const LauncherApp& app : apps)
            out.push_back((app.type() == LauncherItemType::calculation ? "calc:" : "") + app.name());
        return out;
    }

    test::EnvironmentGuard m_environment;
    test::TempTree m_tree;
    FakeDesktop m_desktop;
};

TEST_F(AppLauncherTest, ConstructionRegistersTheKeyBeforeScanningAndListsEverything)
{
    // A bundle that appears while the key is being registered is found only if the scan comes after.
    m_desktop.onRegister = [this] { m_tree.dir("Applications/Late Arrival.app"); };
    const auto launcher = makeLauncher();
    EXPECT_EQ(m_desktop.calls, Strings{"register"});
    EXPECT_EQ(rows(launcher->filteredApps()),
              (Strings{"2+3 Solver", "42 Clock", "Archive Utility", "Calendar", "Game 42", "Late Arrival", "Mail", "mail",
                       "Notes", "Safari", "Safari Technology Preview"}));
    EXPECT_EQ(state(*launcher), "hidden '' 0/11");
    EXPECT_FALSE(launcher->showingSettings() || launcher->searchWindow());
}

// One window, created on the first press, toggled by the key and by a second start, each bringing its time.
TEST_F(AppLauncherTest, HotKeyTogglesOneWindowAndIsDroppedWithTheController)
{
    auto launcher = makeLauncher();
    const auto press = [&](std::uint32_t time) {
        m_desktop.calls.clear();
        m_desktop.press(Activation{time, time ? "launch_TIME" + std::to_string(time) : "", ""});
        return m_desktop.calls;
    };
    EXPECT_EQ(press(4711), (Strings{"create window", "center", "front at 4711", "activate"}));
    SearchWindowPort* const window = launcher->searchWindow();
    type(*launcher, "ar");
    launcher->moveSelection(1);
    EXPECT_EQ(press(0), Strings{"orderOut"});
    EXPECT_EQ(state(*launcher), "hidden 'ar' 1/4"); // hiding keeps the search
    EXPECT_EQ(press(0), (Strings{"center", "front", "activate"})); // the same window, shown afresh
    EXPECT_EQ(launcher->searchWindow(), window);
    m_desktop.calls.clear();
    launcher->toggleSearchWindow(Activation{99, "", ""});
    launcher->toggleSearchWindow(Activation{100, "", ""});
    EXPECT_EQ(m_desktop.calls, (Strings{"orderOut", "center", "front at 100", "activate"}));

    launcher.reset();
    EXPECT_EQ(press(0), Strings{}); // the callback holds the controller weakly
}

TEST_F(AppLauncherTest, NotifiesBeforeEveryAssignmentEvenOfAnUnchangedValue)
{
    using Step = std::function<void(AppLauncher&)>;
    // Each row: a setup, the operation, and the state seen by the observer at each notification it sends.
    const std::tuple<Step, Step, Strings> cases[] = {
        {{}, [](AppLauncher& l) { l.setSearchText(""); l.setShowingSettings(false); l.setSelectedIndex(0); l.moveSelection(-1); },
         Strings(4, "hidden '' 0/10")},
        {{}, [](AppLauncher& l) { l.hideSearchWindow(); }, Strings(1, "hidden '' 0/10")},
        {{}, [](AppLauncher& l) { l.updateSearchResults(); }, Strings(2, "hidden '' 0/10")},
        {[](AppLauncher& l) { l.showSearchWindow(); type(l, "ar"); l.moveSelection(1); l.hideSearchWindow(); },
         [](AppLauncher& l) { l.showSearchWindow(); },
         {"hidden 'ar' 1/4", "shown 'ar' 1/4", "shown '' 1/4", "shown '' 0/4", "shown '' 0/10"}},
        {[](AppLauncher& l) { l.showSearchWindow(); }, [](AppLauncher& l) { l.activateSelected(); }, {"shown '' 0/10"}},
        {[](AppLauncher& l) { type(l, "zzzz"); }, [](AppLauncher& l) { l.activateSelected(); }, {}},
    };
    for (const auto& [setup, operation, states] : cases) {
        const auto launcher = makeLauncher();
        if (setup)
            setup(*launcher);
        Strings seen;
        launcher->objectWillChange().subscribe([&] { seen.push_back(state(*launcher)); });
        operation(*launcher);
        EXPECT_EQ(seen, states);
    }
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

TEST_F(AppLauncherTest, ResultListForTypedText)
{
    const std::pair<std::string, Strings> cases[] = {
        // Prefix matches first, then the others, each group in collation order, whatever the case typed.
        {"AR", {"Archive Utility", "Calendar", "Safari", "Safari Technology Preview"}},
        {"safari ", {"Safari Technology Preview"}}, // not trimmed
        {" ", {"2+3 Solver", "42 Clock", "Archive Utility", "Game 42", "Safari Technology Preview"}},
        {"ma", {"Mail", "mail"}}, // equal names keep the catalogue order
        {"42", {"42 Clock", "Game 42"}}, // a number alone is no expression
        // The calculator row comes first and keeps the typed spacing.
        {"2+3", {"calc:2+3 = 5", "2+3 Solver"}}, {"2 + 3 ", {"calc:2 + 3  = 5"}},
        {"3 - -4", {}}, // an expression as typed, but not once the spaces are gone
        {"1/0", {}},    // the evaluation fails
    };
    const auto launcher = makeLauncher();
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE("'" + text + "'");
        launcher->setSearchText(text);
        launcher->moveSelection(1);
        launcher->updateSearchResults();
        EXPECT_EQ(rows(launcher->filteredApps()), expected);
        EXPECT_EQ(launcher->selectedIndex(), 0);
    }
}

TEST_F(AppLauncherTest, SelectionStaysInsideTheList)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max(), min = std::numeric_limits<std::int64_t>::min();
    // For a text ("ar": four rows, "zzzz": none), moves by each offset, then writes a value as a click does.
    const std::tuple<std::string, std::vector<std::int64_t>, std::int64_t, std::vector<std::int64_t>> cases[] = {
        {"ar", {1, 1, 1, 1, -1}, 1, {1, 2, 3, 3, 2, 1}}, {"ar", {5, -1, -7}, -5, {3, 2, 0, 0}},
        {"ar", {max, max, min}, 7, {3, 3, 0, 3}}, {"zzzz", {1, -1}, 3, {0, 0, 0}},
    };
    const auto launcher = makeLauncher();
    for (const auto& [text, moves, written, expected] : cases) {
        type(*launcher, text);
        std::vector<std::int64_t> seen;
        for (const std::int64_t move : moves) {
            launcher->moveSelection(move);
            seen.push_back(launcher->selectedIndex());
        }
        launcher->setSelectedIndex(written);
        seen.push_back(launcher->selectedIndex());
        EXPECT_EQ(seen, expected) << text;
    }
}

// A catalogue rebuilt while the launcher runs: the typed text stays, the selection follows its application
// (by location) or keeps its position, a calculator row stays the same record, a hidden window waits for its
// next show, and Return acts on the list as it is after the swap (and hides the window when it acts).
TEST_F(AppLauncherTest, ReplacedCatalogueKeepsTextAndSelectedApplication)
{
    const auto opens = [this](const std::string& bundle) { return Strings{"open " + m_tree.path(bundle), "orderOut"}; };
    struct Case {
        std::string text;
        std::int64_t moves;
        bool hideFirst;
        std::string added, removed; // a bundle name in Applications/, a path below the tree
        std::string stateAfter, selectedAfter;
        Strings returnCalls;
    } const cases[] = {
        // A new match ahead of the selected row: the selection moves with its application.
        {"ar", 1, false, "Argon", "", "shown 'ar' 2/5", "Calendar", opens("Applications/Calendar.app")},
        // The selected application is gone: the same position, clamped, and Return opens what is there now.
        {"ar", 2, false, "", "Applications/Safari.app", "shown 'ar' 2/3", "Safari Technology Preview",
         opens("Applications/Safari Technology Preview.app")},
        {"ar", 3, false, "", "Applications/Safari Technology Preview.app", "shown 'ar' 2/3", "Safari",
         opens("Applications/Safari.app")},
        // The only match is gone: nothing is launched and the window stays.
        {"cal", 0, false, "", "Applications/Calendar.app", "shown 'cal' 0/0", "-", {}},
        // Same name, other location: identity is the location ("Mail" goes, "mail" stays selected).
        {"", 6, false, "", "Applications/Mail.app", "shown '' 5/9", "mail", opens("System/Applications/mail.app")},
        {"2+3", 0, false, "2+3 Adder", "", "shown '2+3' 0/3", "calc:2+3 = 5", {"clear", "set 5.0", "orderOut"}},
        {"2+3", 1, false, "2+3 Adder", "", "shown '2+3' 2/3", "2+3 Solver", opens("Applications/2+3 Solver.app")},
        // Of two equal names, Return opens the selected one's location.
        {"ma", 1, false, "Argon", "", "shown 'ma' 1/2", "mail", opens("System/Applications/mail.app")},
        // Hidden: the old list stays until the next show, which lists the new catalogue.
        {"ar", 1, true, "Argon", "", "hidden 'ar' 1/4", "Calendar", {}},
        // Also when the old list was the whole catalogue, which a show does not copy again.
        {"", 0, true, "Argon", "", "hidden '' 0/10", "2+3 Solver", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.stateAfter);
        std::filesystem::remove_all(m_tree.path("Applications")); // back to the fixture's own bundles
        addBundles();
        const auto launcher = makeLauncher();
        launcher->showSearchWindow();
        type(*launcher, c.text);
        launcher->moveSelection(c.moves);
        const std::vector<LauncherApp> before = launcher->filteredApps();
        if (c.hideFirst)
            launcher->hideSearchWindow();
        if (!c.added.empty())
            m_tree.dir("Applications/" + c.added + ".app");
        if (!c.removed.empty())
            std::filesystem::remove_all(m_tree.path(c.removed));
        int notifications = 0;
        const auto subscription = launcher->objectWillChange().subscribe([&] { ++notifications; });
        launcher->replaceCatalog(Catalog::build(launcher->applicationIndex().locations()));
        launcher->objectWillChange().unsubscribe(subscription);

        EXPECT_EQ(state(*launcher), c.stateAfter);
        const auto& rowsAfter = launcher->filteredApps();
        const auto selected = static_cast<std::size_t>(launcher->selectedIndex());
        EXPECT_EQ(selected < rowsAfter.size() ? rows({rowsAfter[selected]}).front() : "-", c.selectedAfter);
        EXPECT_EQ(notifications, c.hideFirst ? 0 : 2) << "the list and the selection are published";
        if (!before.empty() && before.front().type() == LauncherItemType::calculation) {
            EXPECT_EQ(rowsAfter.front().id(), before.front().id()) << "the calculator row is kept as it was";
        }
        if (c.hideFirst) {
            EXPECT_EQ(rows(rowsAfter), rows(before));
            launcher->showSearchWindow();
            const Strings shown = rows(launcher->filteredApps());
            EXPECT_NE(std::find(shown.begin(), shown.end(), c.added), shown.end()) << "the show lists the new catalogue";
            type(*launcher, "ar");
            EXPECT_EQ(rows(launcher->filteredApps()),
                      (Strings{"Archive Utility", "Argon", "Calendar", "Safari", "Safari Technology Preview"}));
            continue;
        }
        m_desktop.calls.clear();
        launcher->activateSelected();
        EXPECT_EQ(m_desktop.calls, c.returnCalls);
        EXPECT_EQ(launcher->isSearchVisible(), c.returnCalls.empty());
    }
}

// Generated catalogues of names built from pieces that make ordering and matching hard (case pairs, composed
// and decomposed accents, a bare combining mark, letters whose lower case changes length, ligatures, spaces,
// operators), searched for whole names and for random pieces: the index must give the plain search's list.
TEST(SearchIndex, MatchesThePlainSearchOnGeneratedCatalogues)
{
    const std::vector<std::string> pieces = {
        "a", "A", "e", "E", "\u00e9", "e\u0301", "\u00c9", "\u00df", "ss", "SS", " ", "\u00e4", "a\u0308", "\u00c4", "o",
        "\u00f6", "z", "Z", "1", "+", "\u01c5", "\ufb01", "\u0130", "i", "I", "\u0301", "\u65e5", "\t", "ch", "\u0131"};
    std::mt19937 random(20240611);
    const auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    std::size_t comparedRows = 0, mixedLists = 0;
    for (const char* locale : {"en_US", "sv_SE", "tr_TR", "es_ES@collation=traditional"}) {
        const text::LocaleCollator collator(locale);
        for (int round = 0; round < 15; ++round) {
            Strings names(1 + pick(60));
            std::vector<LauncherApp> apps;
            for (std::size_t i = 0; i < names.size(); ++i) {
                for (std::size_t k = pick(7); k > 0; --k)
                    names[i] += pieces[pick(pieces.size())];
                if (i > 0 && pick(5) == 0)
                    names[i] = names[pick(i)]; // an exact duplicate
                apps.emplace_back(Uuid::random(), names[i], FileUrl::fromPath("/" + std::to_string(i)), nullptr, std::nullopt,
                                  LauncherItemType::application, std::nullopt);
            }
            const SearchIndex index(apps, collator);
            for (int q = 0; q < 20; ++q) {
                const std::string query = q % 3 == 0 ? names[pick(names.size())]
                                                     : pieces[pick(pieces.size())] + (q % 3 == 1 ? "" : pieces[pick(pieces.size())]);
                if (query.empty())
                    continue;
                std::vector<LauncherApp> expected = referenceSearchResults(apps, query, collator), actual;
                if (!expected.empty() && expected.front().type() == LauncherItemType::calculation)
                    expected.erase(expected.begin());
                index.appendMatches(query, actual);
                ASSERT_TRUE(actual == expected) << locale << " '" << query << "'"; // records are equal by URL
                comparedRows += actual.size();
                const auto prefixed = std::count_if(actual.begin(), actual.end(), [&](const LauncherApp& app) {
                    return text::hasPrefixCanonically(text::lowerCase(app.name()), text::lowerCase(query));
                });
                mixedLists += prefixed > 0 && static_cast<std::size_t>(prefixed) < actual.size();
            }
        }
    }
    // The generator must produce real work: many rows, and many lists holding both groups.
    EXPECT_GT(comparedRows, 2000u);
    EXPECT_GT(mixedLists, 150u);
}

} // namespace
} // namespace kestrel
