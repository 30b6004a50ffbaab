#include "catalog/Uuid.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

TEST(Uuid, CarriesVersionFourAndTheRfc4122Variant)
{
    for (int i = 0; i < 1000; ++i) {
        const Uuid uuid = Uuid::random();
        EXPECT_EQ(uuid.bytes()[6] >> 4, 4);
        EXPECT_EQ(uuid.bytes()[8] >> 6, 2);
    }
}

TEST(Uuid, StringIsTheCanonicalFormOfItsBytes)
{
    for (int i = 0; i < 100; ++i) {
        const Uuid uuid = Uuid::random();
        const std::string text = uuid.toString();
        ASSERT_EQ(text.size(), 36U);
        std::array<std::uint8_t, 16> parsed{};
        std::size_t byte = 0;
        for (std::size_t position = 0; position < text.size(); ++position) {
            const char c = text[position];
            if (position == 8 || position == 13 || position == 18 || position == 23) {
                EXPECT_EQ(c, '-') << text;
                continue;
            }
            const bool digit = c >= '0' && c <= '9';
            ASSERT_TRUE(digit || (c >= 'a' && c <= 'f')) << text;
            const int value = digit ? c - '0' : c - 'a' + 10;
            parsed[byte / 2] = static_cast<std::uint8_t>(parsed[byte / 2] * 16 + value);
            ++byte;
        }
        EXPECT_EQ(parsed, uuid.bytes()) << text;
        EXPECT_EQ(text[14], '4') << text;
    }
}

TEST(Uuid, DrawsAreDistinct)
{
    std::set<std::array<std::uint8_t, 16>> seen;
    for (int i = 0; i < 20000; ++i)
        seen.insert(Uuid::random().bytes());
    EXPECT_EQ(seen.size(), 20000U);
}

TEST(Uuid, EveryRandomBitVaries)
{
    // Each of the 122 random bits is set in about half of the draws: a byte left at zero or a
    // generator word used twice shows up here.
    constexpr int draws = 4000;
    std::array<int, 128> ones{};
    for (int i = 0; i < draws; ++i) {
        const Uuid uuid = Uuid::random();
        for (std::size_t bit = 0; bit < 128; ++bit)
            ones[bit] += (uuid.bytes()[bit / 8] >> (7 - bit % 8)) & 1;
    }
    for (std::size_t bit = 0; bit < 128; ++bit) {
        const bool fixed = (bit >= 48 && bit < 52) || bit == 64 || bit == 65;
        if (fixed)
            continue;
        EXPECT_GT(ones[bit], draws * 4 / 10) << "bit " << bit;
        EXPECT_LT(ones[bit], draws * 6 / 10) << "bit " << bit;
    }
}

TEST(Uuid, ThreadsDrawDifferentSequences)
{
    constexpr int perThread = 500;
    std::vector<std::vector<Uuid>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&result] {
            for (int i = 0; i < perThread; ++i)
                result.push_back(Uuid::random());
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::set<std::array<std::uint8_t, 16>> seen;
    for (const auto& result : results) {
        for (const auto& uuid : result)
            seen.insert(uuid.bytes());
    }
    EXPECT_EQ(seen.size(), results.size() * perThread);
}

} // namespace
} // namespace kestrel
