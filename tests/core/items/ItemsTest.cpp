#include "catalog/FileUrl.h"
#include "catalog/LauncherApp.h"
#include "catalog/Uuid.h"

#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace kestrel {
namespace {

LauncherApp app(const char* path, const char* name = "App")
{
    return LauncherApp(Uuid::random(), name, path ? std::optional(FileUrl::fromPath(path)) : std::nullopt, nullptr, {},
                       LauncherItemType::application, {});
}

LauncherApp calc(const std::string& name, std::optional<double> result)
{
    return LauncherApp(Uuid::random(), name, {}, nullptr, {}, LauncherItemType::calculation, result);
}

// An application is its location (the path as given); a calculator row is its result (as a number) and its
// name (canonically, case kept). Equal records must hash alike.
TEST(LauncherApp, EqualityAndHashFollowTheKindOfItem)
{
    // clang-format off
    const std::tuple<LauncherApp, LauncherApp, bool> cases[] = {
        {app("/A/Safari.app", "Safari"), app("/A/Safari.app", "Web"), true}, {app("/A/Safari.app"), app("/B/Safari.app"), false},
        {app("/A.app"), app(nullptr), false}, {app("/Caf\u00e9.app"), app("/Cafe\u0301.app"), false},
        {app(nullptr, "5"), calc("5", std::nullopt), false}, {calc("0", 0.0), calc("0", -0.0), true},
        {calc("x", 1.0), calc("x", -1.0), false}, {calc("a", std::nullopt), calc("a", 0.0), false},
        {calc("Abc", 1.0), calc("abc", 1.0), false}, {calc("caf\u00e9", 1.0), calc("cafe\u0301", 1.0), true},
    };
    // clang-format on
    for (const auto& [a, b, equal] : cases) {
        EXPECT_EQ(a == b, equal) << a.name() << " / " << b.name();
        EXPECT_EQ(b == a, equal) << a.name() << " / " << b.name();
        EXPECT_EQ(a.hashValue() == b.hashValue(), equal) << a.name() << " / " << b.name();
    }
}

// Distinct, also when drawn by threads that all start at once (each seeds its own generator).
TEST(Uuid, RandomIdentifiersAreDistinctAcrossThreads)
{
    constexpr std::size_t threads = 8, each = 100;
    std::vector<std::string> drawn(threads * each);
    std::latch start(threads);
    std::vector<std::jthread> running;
    for (std::size_t t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            start.arrive_and_wait();
            for (std::size_t i = 0; i < each; ++i)
                drawn[t * each + i] = Uuid::random().toString();
        });
    }
    running.clear(); // joins them
    EXPECT_EQ(std::set<std::string>(drawn.begin(), drawn.end()).size(), drawn.size());
}

} // namespace
} // namespace kestrel
