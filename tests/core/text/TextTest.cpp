#include "text/Locale.h"
#include "text/LocaleCollator.h"
#include "text/NormalizedText.h"
#include "text/UnicodeText.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kestrel::text {
namespace {

TEST(UnicodeText, LowerCaseIsTheFullRootMapping)
{
    std::string dottedCapitals, dottedSmalls; // lower case is longer than the input
    for (int i = 0; i < 200; ++i)
        dottedCapitals += "\u0130", dottedSmalls += "i\u0307";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\u0130stanbul ISTANBUL", "i\u0307stanbul istanbul"}, // not the Turkish rules
        {"\u1e9e\U00010400A\xff", "\u00df\U00010428a\ufffd"},
        {dottedCapitals, dottedSmalls},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(lowerCase(input), expected) << input;
}

TEST(UnicodeText, InvalidSequencesBecomeReplacementCharactersAndWhatFollowsStays)
{
    const std::u32string bad(1, U'\ufffd');
    // clang-format off
    const std::vector<std::pair<std::string, std::u32string>> cases = {
        {"\u00e9\u07ff\u0800\uffff\U00010000\U0010ffff", U"\u00e9\u07ff\u0800\uffff\U00010000\U0010ffff"},
        {std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
        {"\x80", bad}, {"\xf0\x9f\x98" "A", bad + U"A"}, // how ICU splits other bad sequences is its own
    };
    // clang-format on
    for (const auto& [input, codePoints] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(toUtf32(input), codePoints);
        EXPECT_EQ(toValidUtf8(input), toUtf8(codePoints));
        EXPECT_EQ(fromUtf16(toUtf16(input)), toUtf8(codePoints));
    }
    EXPECT_EQ(toUtf8(std::u32string{0xD800, 0x110000}), "\ufffd\ufffd");
    EXPECT_EQ(fromUtf16(std::u16string{u'x', 0xD83D, u'y', 0xDE00}), "x\ufffdy\ufffd");
}

TEST(NormalizedText, MatchesWholeCharactersUnderCanonicalEquivalence)
{
    // clang-format off
    const std::tuple<std::string, std::string, bool, bool> cases[] = { // contains, startsWith
        {"safari", "saf", true, true}, {"ab", "abc", false, false}, {"aab", "ab", true, false}, {"", "", true, true},
        {"cafe\u0301", "caf\u00e9", true, true}, {"xe\u0323\u0301", "\u1eb9\u0301", true, false},
        {"\u212bngstr\u00f6m", "\u00c5ng", true, true}, {"a\xff" "b", "\ufffd" "b", true, false},
        // Whole user-perceived characters only, and a rejected match does not end the search.
        {"caf\u00e9", "cafe", false, false}, {"cafe\u0301", "\u0301", false, false}, {"e\u0301e", "e", true, false},
        {"\ud55c", "\ud558", false, false}, {"\U0001f468\u200d\U0001f469\u200d\U0001f467", "\U0001f468", false, false},
        {"\U0001f1e9\U0001f1ea\U0001f1eb\U0001f1f7", "\U0001f1ea\U0001f1eb", false, false}, // a family, two flags
        {"a\r\nb", "a\r", false, false}, // the ASCII path too: CR LF is one character
    };
    // clang-format on
    const auto nfd = [](const std::string& utf8) { return fromUtf16(NormalizedText::fromUtf8(utf8).nfd()); };
    for (const auto& [text, part, contains, startsWith] : cases) {
        SCOPED_TRACE(text + " / " + part);
        // The answer must not depend on the normalisation form either text arrives in.
        for (const std::string& haystack : {text, toNfc(text), nfd(text)}) {
            for (const std::string& needle : {part, toNfc(part), nfd(part)}) {
                EXPECT_EQ(containsCanonically(haystack, needle), contains);
                EXPECT_EQ(hasPrefixCanonically(haystack, needle), startsWith);
            }
        }
    }
}

TEST(LocaleCollator, IgnoresCaseButNotAccentsAndFollowsTheLocale)
{
    // clang-format off
    const std::tuple<const char*, std::string, std::string, int> cases[] = { // sign of compare(a, b)
        {"", "a\xff", "A\ufffd", 0}, {"en_US", "resume", "r\u00e9sum\u00e9", -1},
        {"en_US", "r\u00e9sum\u00e9", "R\u00c9SUME\u0301", 0}, {"de_DE", "\u00e4", "z", -1}, {"sv_SE", "\u00e4", "z", 1},
        {"tr_TR", "\u0131", "i", -1}, {"not a locale!", "b", "A", 1},
    };
    // clang-format on
    const auto sign = [](int value) { return (value > 0) - (value < 0); };
    for (const auto& [locale, a, b, expected] : cases) {
        SCOPED_TRACE(std::string(locale) + ": " + a + " vs " + b);
        const LocaleCollator collator(locale);
        EXPECT_EQ(sign(collator.compare(a, b)), expected);
        EXPECT_EQ(sign(collator.compare(b, a)), -expected);
        EXPECT_EQ(sign(collator.sortKey(a).compare(collator.sortKey(b))), expected);
    }
}

TEST(Locale, FirstNonEmptyVariableWinsAndIsTranslatedForIcu)
{
    // clang-format off
    const std::array<std::string, 4> cases[] = { // LC_ALL, LC_COLLATE or LC_NUMERIC, LANG; expected
        {"", "sv_SE.UTF-8", "de_DE.UTF-8", "sv_SE"},
        {"fr_FR.UTF-8", "sv_SE.UTF-8", "de_DE.UTF-8", "fr_FR"}, {"C", "sv_SE", "de_DE", ""},
        {"", "POSIX", "de_DE", ""}, {"", "", "C.UTF-8", ""}, {"", "", "de-DE", "de_DE"},
        {"", "", "ca_ES.UTF-8@valencia", "ca_ES_VALENCIA"}, {"", "", "sr_RS.UTF-8@latin", "sr_Latn_RS"},
        {"", "", "de_DE.ISO-8859-15@euro", "de_DE"}, {"", "", "/etc/passwd", ""}, {"", "", "en US", ""},
    };
    // clang-format on
    for (const auto& [all, category, lang, expected] : cases)
        EXPECT_EQ(localeFromVariables(all, category, lang), expected) << all << "|" << category << "|" << lang;
}

} // namespace
} // namespace kestrel::text
