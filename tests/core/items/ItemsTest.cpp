#include "catalog/FileUrl.h"
#include "catalog/LauncherApp.h"
#include "catalog/Uuid.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
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

TEST(LauncherApp, EqualityAndHashFollowTheKindOfItem)
{
    const std::tuple<LauncherApp, LauncherApp, bool> cases[] = {
        {app("/A/Safari.app", "Safari", "a"), app("/A/Safari.app", "Web", "b"), true},
        {app("/A/Safari.app"), app("/B/Safari.app"), false}, {app(nullptr, "A"), app(nullptr, "B"), true},
        {app("/A.app"), app(nullptr), false}, {app("/Caf\u00e9.app"), app("/Cafe\u0301.app"), false},
        {app(nullptr, "5"), calc("5", std::nullopt), false}, {calc("0", 0.0), calc("0", -0.0), true},
        {calc("x", 1.0), calc("x", -1.0), false}, {calc("2+3", 5.0), calc("2 + 3", 5.0), false},
        {calc("a", std::nullopt), calc("a", 0.0), false}, {calc("caf\u00e9", 1.0), calc("cafe\u0301", 1.0), true},
        {calc("a\u0301\u0323", 1.0), calc("a\u0323\u0301", 1.0), true},
        {calc("\ud55c", 1.0), calc("\u1112\u1161\u11ab", 1.0), true}, {calc("Abc", 1.0), calc("abc", 1.0), false},
    };
    for (const auto& [a, b, equal] : cases) {
        SCOPED_TRACE(a.name() + " / " + b.name());
        EXPECT_EQ(a == b, equal);
        EXPECT_EQ(b == a, equal);
        EXPECT_EQ(a.hashValue() == b.hashValue(), equal);
    }
}

TEST(Uuid, RandomVersionFourIdentifiers)
{
    const std::regex canonical("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> texts;
    std::array<std::uint8_t, 16> ored{}, anded;
    anded.fill(0xFF);
    for (int i = 0; i < 2000; ++i) {
        const Uuid uuid = Uuid::random();
        ASSERT_TRUE(std::regex_match(uuid.toString(), canonical)) << uuid.toString();
        texts.insert(uuid.toString());
        for (std::size_t k = 0; k < 16; ++k) {
            ored[k] = static_cast<std::uint8_t>(ored[k] | uuid.bytes()[k]);
            anded[k] = static_cast<std::uint8_t>(anded[k] & uuid.bytes()[k]);
        }
    }
    EXPECT_EQ(texts.size(), 2000u); // distinct identifiers have distinct texts
    for (std::size_t k = 0; k < 16; ++k) { // every bit varies except those of version 4 and the variant
        EXPECT_EQ(ored[k], k == 6 ? 0x4F : k == 8 ? 0xBF : 0xFF) << k;
        EXPECT_EQ(anded[k], k == 6 ? 0x40 : k == 8 ? 0x80 : 0) << k;
    }

    std::string first, second; // each thread draws its own sequence
    std::thread([&first] { first = Uuid::random().toString(); }).join();
    std::thread([&second] { second = Uuid::random().toString(); }).join();
    EXPECT_NE(first, second);
}

TEST(FileUrl, KeepsAbsolutePathsAndAnchorsRelativeOnes)
{
    const std::string cwd = std::filesystem::current_path().string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/a/../b/./c//d/", "/a/../b/./c//d/"}, {"/Cafe\u0301.app", "/Cafe\u0301.app"},
        {"relative/Tool.app", cwd + "/relative/Tool.app"}, {"../up", cwd + "/../up"}, {"", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(FileUrl::fromPath(path).path(), expected) << path;
}

} // namespace
} // namespace kestrel
