#include "text/LocaleCollator.h"

#include "EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrel::text {
namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(LocaleCollator, IgnoresCaseButNotAccentsInTheGivenLocale)
{
    struct Case {
        const char* locale;
        std::string a;
        std::string b;
        int expected; // sign of compare(a, b)
    };
    const std::vector<Case> cases = {
        {"", "apple", "Apple", 0},
        {"", "SAFARI", "safari", 0},
        {"en_US", "apple", "banana", -1},
        {"en_US", "Banana", "apple", 1},
        {"en_US", "resume", "r\u00e9sum\u00e9", -1},
        {"en_US", "r\u00e9sum\u00e9", "R\u00c9SUM\u00c9", 0},
        {"en_US", "caf\u00e9", "cafe\u0301", 0},
        {"en_US", "a", "ab", -1},
        {"en_US", "", "a", -1},
        {"en_US", "", "", 0},
        {"de_DE", "\u00e4", "z", -1},
        {"de_DE", "\u00e4", "b", -1},
        {"de_DE", "a", "\u00e4", -1},
        {"de_DE", "\u00c4pfel", "\u00e4pfel", 0},
        {"sv_SE", "\u00e4", "z", 1},
        {"sv_SE", "\u00e4", "\u00c4", 0},
        {"sv", "\u00e5", "\u00e4", -1},
        {"da_DK", "\u00e6", "z", 1},
        {"tr_TR", "\u0131", "i", -1},
        {"xx_YY", "apple", "Apple", 0},
        {"not a locale!", "b", "a", 1},
    };
    for (const auto& c : cases) {
        const LocaleCollator collator(c.locale);
        EXPECT_EQ(sign(collator.compare(c.a, c.b)), c.expected) << c.locale << ": " << c.a << " vs " << c.b;
        EXPECT_EQ(sign(collator.compare(c.b, c.a)), -c.expected) << c.locale << ": " << c.b << " vs " << c.a;
    }
}

TEST(LocaleCollator, SortKeysOrderLikeCompare)
{
    const std::vector<std::string> pieces = {"a", "A", "\u00e4", "a\u0308", "b", "z", "Z", "\u00e9", "E\u0301",
                                             "e", "\u00df", "ss", "1", "10", "2", " ", "-", "\u03a9",
                                             "\ud55c", "\u0131", "I", "\xff", "\U0001f600", "\u00e5"};
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::size_t> count(0, 3);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::vector<std::string> texts;
    for (int i = 0; i < 150; ++i) {
        std::string text;
        for (std::size_t n = count(random); n > 0; --n)
            text += pieces[pick(random)];
        texts.push_back(text);
    }

    for (const char* locale : {"", "de_DE", "sv_SE", "tr_TR", "ja_JP"}) {
        const LocaleCollator collator(locale);
        std::vector<std::string> keys;
        for (const auto& text : texts)
            keys.push_back(collator.sortKey(text));
        int mismatches = 0;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            for (std::size_t j = 0; j < texts.size(); ++j) {
                if (sign(keys[i].compare(keys[j])) != sign(collator.compare(texts[i], texts[j])) && ++mismatches < 5)
                    ADD_FAILURE() << locale << ": '" << texts[i] << "' vs '" << texts[j] << "'";
            }
        }
        EXPECT_EQ(mismatches, 0) << locale;
    }
}

TEST(LocaleCollator, ForUserFollowsTheCollationVariables)
{
    EnvironmentGuard environment;
    environment.set("LC_ALL", std::nullopt);
    environment.set("LANG", "de_DE.UTF-8");
    environment.set("LC_COLLATE", "sv_SE.UTF-8");
    EXPECT_GT(LocaleCollator::forUser().compare("\u00e4", "z"), 0);
    environment.set("LC_COLLATE", std::nullopt);
    EXPECT_LT(LocaleCollator::forUser().compare("\u00e4", "z"), 0);
}

} // namespace
} // namespace kestrel::text
