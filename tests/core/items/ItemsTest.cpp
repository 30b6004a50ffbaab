#include "catalog/FileUrl.h"
#include "catalog/LauncherApp.h"
#include "catalog/Uuid.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

LauncherApp app(const char* path, const char* name = "App", const char* bundle = nullptr)
{
    return LauncherApp(Uuid::random(), name, path ? std::optional(FileUrl::fromPath(path)) : std::nullopt, nullptr,
                       bundle ? std::optional<std::string>(bundle) : std::nullopt, LauncherItemType::application, {});
}

LauncherApp calc(const std::string& name, std::optional<double> result)
{
    return LauncherApp(Uuid::random(), name, {}, nullptr, {}, LauncherItemType::calculation, result);
}

// An application is its location (an absolute path as given, a relative one anchored at the current
// directory); a calculator row is its result (as a number) and its name (canonically, case kept). Equal
// records must hash alike.
TEST(LauncherApp, EqualityAndHashFollowTheKindOfItem)
{
    const std::string anchored = std::filesystem::current_path().string() + "/relative/Tool.app";
    // clang-format off
    const std::tuple<LauncherApp, LauncherApp, bool> cases[] = {
        {app("/A/Safari.app", "Safari", "a"), app("/A/Safari.app", "Web", "b"), true},
        {app("/A/Safari.app"), app("/B/Safari.app"), false}, {app(nullptr, "A"), app(nullptr, "B"), true},
        {app("/A.app"), app(nullptr), false}, {app("/Caf\u00e9.app"), app("/Cafe\u0301.app"), false},
        {app("/a/../b/./c//d.app"), app("/b/c/d.app"), false}, {app("relative/Tool.app"), app(anchored.c_str()), true},
        {app(nullptr, "5"), calc("5", std::nullopt), false}, {calc("0", 0.0), calc("0", -0.0), true},
        {calc("x", 1.0), calc("x", -1.0), false}, {calc("a", std::nullopt), calc("a", 0.0), false},
        {calc("2+3", 5.0), calc("2 + 3", 5.0), false}, {calc("Abc", 1.0), calc("abc", 1.0), false},
        {calc("caf\u00e9", 1.0), calc("cafe\u0301", 1.0), true},
    };
    // clang-format on
    for (const auto& [a, b, equal] : cases) {
        EXPECT_EQ(a == b, equal) << a.name() << " / " << b.name();
        EXPECT_EQ(b == a, equal) << a.name() << " / " << b.name();
        EXPECT_EQ(a.hashValue() == b.hashValue(), equal) << a.name() << " / " << b.name();
    }
}

// Distinct, also when drawn by threads that all start at once (each seeds its own generator), in the
// canonical version 4 form.
TEST(Uuid, RandomVersionFourIdentifiers)
{
    constexpr std::size_t threads = 8, each = 100;
    std::latch start(threads);
    std::vector<std::vector<std::string>> drawn(threads);
    std::vector<std::thread> running;
    for (std::size_t t = 0; t < threads; ++t) {
        running.emplace_back([&start, &mine = drawn[t]] {
            start.arrive_and_wait();
            for (std::size_t i = 0; i < each; ++i)
                mine.push_back(Uuid::random().toString());
        });
    }
    for (std::thread& thread : running)
        thread.join();
    std::set<std::string> texts;
    const std::regex canonical("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    for (const std::vector<std::string>& mine : drawn) {
        for (const std::string& text : mine) {
            texts.insert(text);
            EXPECT_TRUE(std::regex_match(text, canonical)) << text;
        }
    }
    EXPECT_EQ(texts.size(), threads * each);
}

} // namespace
} // namespace kestrel
