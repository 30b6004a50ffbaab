#include "catalog/LauncherApp.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace kestrel {
namespace {

LauncherApp application(const std::string& name, std::optional<std::string> path,
                        std::optional<std::string> bundleIdentifier = std::nullopt)
{
    std::optional<FileUrl> url;
    if (path)
        url = FileUrl::fromPath(*path);
    auto icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::themeIcon, name, ""});
    return LauncherApp(Uuid::random(), name, url, icon, std::move(bundleIdentifier), LauncherItemType::application,
                       std::nullopt);
}

LauncherApp calculation(const std::string& name, std::optional<double> result)
{
    auto icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::symbol, "calculator", "Calculator"});
    return LauncherApp(Uuid::random(), name, std::nullopt, icon, std::nullopt, LauncherItemType::calculation,
                       result);
}

TEST(LauncherApp, EqualityFollowsTheKindOfItem)
{
    struct Case {
        const char* description;
        LauncherApp a;
        LauncherApp b;
        bool equal;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {"applications with one URL, other ids, names and identifiers",
         application("Safari", "/Applications/Safari.app", "a"), application("Web", "/Applications/Safari.app", "b"),
         true},
        {"applications with one name and two URLs", application("Safari", "/Applications/Safari.app"),
         application("Safari", "/System/Applications/Safari.app"), false},
        {"applications without URLs", application("A", std::nullopt), application("B", std::nullopt), true},
        {"application with and without URL", application("A", "/A.app"), application("A", std::nullopt), false},
        {"application URLs differ only in normalisation form", application("Caf\u00e9", "/Caf\u00e9.app"),
         application("Caf\u00e9", "/Cafe\u0301.app"), false},
        {"application and calculation with one name", application("5", std::nullopt), calculation("5", std::nullopt),
         false},
        {"application and calculation, both otherwise empty", application("", std::nullopt),
         calculation("", std::nullopt), false},
        {"calculations built twice from one text", calculation("2+3 = 5", 5.0), calculation("2+3 = 5", 5.0), true},
        {"calculations with results 0 and -0", calculation("0*-1 = 0", 0.0), calculation("0*-1 = 0", -0.0), true},
        {"calculations with different results", calculation("x = 1", 1.0), calculation("x = 1", 2.0), false},
        {"calculations with different names", calculation("2+3 = 5", 5.0), calculation("2 + 3 = 5", 5.0), false},
        {"calculations without results", calculation("a", std::nullopt), calculation("a", std::nullopt), true},
        {"calculation with and without result", calculation("a", std::nullopt), calculation("a", 0.0), false},
        {"calculation names NFC and NFD", calculation("caf\u00e9 = 1", 1.0), calculation("cafe\u0301 = 1", 1.0),
         true},
        {"calculation names with marks in either order", calculation("a\u0301\u0323", 1.0),
         calculation("a\u0323\u0301", 1.0), true},
        {"calculation names Hangul syllable and jamo", calculation("\ud55c", 1.0),
         calculation("\u1112\u1161\u11ab", 1.0), true},
        {"calculation names differ in case", calculation("Abc", 1.0), calculation("abc", 1.0), false},
        {"calculation names differ in accent", calculation("cafe", 1.0), calculation("caf\u00e9", 1.0), false},
        {"calculations with NaN results", calculation("n", nan), calculation("n", nan), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.description;
        EXPECT_EQ(c.b == c.a, c.equal) << c.description << " (reversed)";
        if (c.equal) {
            EXPECT_EQ(c.a.hashValue(), c.b.hashValue()) << c.description;
        }
    }
}

TEST(LauncherApp, HashSeparatesWhatEqualitySeparates)
{
    struct Case {
        const char* description;
        LauncherApp a;
        LauncherApp b;
    };
    const std::vector<Case> cases = {
        {"type", application("5", std::nullopt), calculation("5", std::nullopt)},
        {"result present as zero vs absent", calculation("a", 0.0), calculation("a", std::nullopt)},
        {"result value", calculation("a", 1.0), calculation("a", 2.0)},
        {"result sign beyond zero", calculation("a", 1.0), calculation("a", -1.0)},
        {"URL present vs absent", application("A", "/A.app"), application("A", std::nullopt)},
        {"URL", application("A", "/A.app"), application("A", "/B.app")},
        {"name", calculation("a", 1.0), calculation("b", 1.0)},
    };
    for (const auto& c : cases)
        EXPECT_NE(c.a.hashValue(), c.b.hashValue()) << c.description;

    std::unordered_set<std::size_t> hashes;
    for (int i = 0; i < 2000; ++i)
        hashes.insert(application("App", "/Applications/App" + std::to_string(i) + ".app").hashValue());
    EXPECT_EQ(hashes.size(), 2000U);
}

TEST(LauncherApp, WorksAsAKeyOfAnUnorderedSet)
{
    std::unordered_set<LauncherApp> set;
    set.insert(application("Safari", "/Applications/Safari.app"));
    set.insert(application("Safari again", "/Applications/Safari.app"));
    set.insert(application("Safari", "/System/Applications/Safari.app"));
    set.insert(calculation("caf\u00e9 = 1", 1.0));
    set.insert(calculation("cafe\u0301 = 1", 1.0));
    set.insert(calculation("0 = 0", 0.0));
    set.insert(calculation("0 = 0", -0.0));
    set.insert(calculation("0 = 0", std::nullopt));
    EXPECT_EQ(set.size(), 5U);
    EXPECT_EQ(set.count(application("X", "/Applications/Safari.app")), 1U);
    EXPECT_EQ(set.count(calculation("cafe\u0301 = 1", 1.0)), 1U);
    EXPECT_EQ(set.count(calculation("0 = 0", -0.0)), 1U);
    EXPECT_EQ(set.count(application("0 = 0", std::nullopt)), 0U);
}

} // namespace
} // namespace kestrel
