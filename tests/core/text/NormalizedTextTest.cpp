#include "text/NormalizedText.h"

#include "text/UnicodeText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::text {
namespace {

struct MatchCase {
    const char* description;
    std::string haystack;
    std::string needle;
    bool contains;
    bool startsWith;
};

const std::string family = "\U0001f468\u200d\U0001f469\u200d\U0001f467";
const std::string flagsDeFr = "\U0001f1e9\U0001f1ea\U0001f1eb\U0001f1f7";

const std::vector<MatchCase>& matchCases()
{
    static const std::vector<MatchCase> cases = {
        // Plain text.
        {"inside", "safari", "far", true, false},
        {"prefix", "safari", "saf", true, true},
        {"whole text", "safari", "safari", true, true},
        {"at the end", "safari", "ari", true, false},
        {"case-sensitive", "Safari", "saf", false, false},
        {"needle longer than text", "ab", "abc", false, false},
        {"absent", "safari", "x", false, false},
        {"scan continues after a partial match", "aab", "ab", true, false},
        {"spaces count", "safari ", "i ", true, false},
        {"empty needle", "safari", "", true, true},
        {"empty needle, empty text", "", "", true, true},
        {"empty text", "", "a", false, false},
        // Canonical equivalence.
        {"precomposed needle in decomposed text", "cafe\u0301", "caf\u00e9", true, true},
        {"decomposed needle in precomposed text", "caf\u00e9", "cafe\u0301", true, true},
        {"precomposed accent alone", "cafe\u0301s", "\u00e9s", true, false},
        {"marks in either order", "xe\u0323\u0301", "\u1eb9\u0301", true, false},
        {"Angstrom sign equals A with ring", "\u212bngstr\u00f6m", "\u00c5ng", true, true},
        {"Hangul syllables found by their jamo", "\ud55c\uad6d", "\u1112\u1161\u11ab", true, true},
        {"Hangul jamo text found by syllable", "\u1112\u1161\u11ab\u1100\u116e\u11a8", "\uad6d", true, false},
        // Whole user-perceived characters only.
        {"base letter of a precomposed letter", "caf\u00e9", "e", false, false},
        {"base letter of a decomposed letter", "cafe\u0301", "e", false, false},
        {"prefix ending before a combining mark", "caf\u00e9", "cafe", false, false},
        {"combining mark alone", "cafe\u0301", "\u0301", false, false},
        {"later whole match after a rejected one", "e\u0301e", "e", true, false},
        {"a letter with one mark is not the letter with two", "a\u0323\u0301", "\u1ea1", false, false},
        {"leading jamo of a syllable", "\ud55c", "\u1112", false, false},
        {"LV syllable inside an LVT syllable", "\ud55c", "\ud558", false, false},
        {"one person of a ZWJ family", family, "\U0001f468", false, false},
        {"the whole ZWJ family", "x" + family + "y", family, true, false},
        {"one regional indicator of a flag", flagsDeFr, "\U0001f1e9", false, false},
        {"indicators straddling two flags", flagsDeFr, "\U0001f1ea\U0001f1eb", false, false},
        {"second flag", flagsDeFr, "\U0001f1eb\U0001f1f7", true, false},
        {"emoji without its skin tone", "\U0001f44d\U0001f3fd", "\U0001f44d", false, false},
        {"LF of a CR LF pair", "a\r\nb", "\n", false, false},
        {"CR of a CR LF pair", "a\r\nb", "a\r", false, false},
        {"whole CR LF pair", "a\r\nb", "\r\n", true, false},
        // Encoding details.
        {"same lead surrogate, other trail", "\U0001f601", "\U0001f600", false, false},
        {"ASCII after a supplementary character", "\U0001f600x", "x", true, false},
        {"ill-formed bytes read as U+FFFD", "a\xff" "b", "\ufffd" "b", true, false},
    };
    return cases;
}

TEST(NormalizedText, ContainsAndStartsWithOnWholeCanonicalCharacters)
{
    for (const auto& c : matchCases()) {
        const NormalizedText haystack = NormalizedText::fromUtf8(c.haystack);
        const NormalizedText needle = NormalizedText::fromUtf8(c.needle);
        EXPECT_EQ(haystack.contains(needle), c.contains) << c.description;
        EXPECT_EQ(haystack.startsWith(needle), c.startsWith) << c.description;
        EXPECT_EQ(containsCanonically(c.haystack, c.needle), c.contains) << c.description;
        EXPECT_EQ(hasPrefixCanonically(c.haystack, c.needle), c.startsWith) << c.description;
    }
}

TEST(NormalizedText, AnswerDoesNotDependOnTheFormEitherTextIsIn)
{
    const auto decomposedForm = [](const std::string& utf8) {
        return fromUtf16(NormalizedText::fromUtf8(utf8).nfd());
    };
    for (const auto& c : matchCases()) {
        const std::vector<std::string> haystacks = {toNfc(c.haystack), decomposedForm(c.haystack)};
        const std::vector<std::string> needles = {toNfc(c.needle), decomposedForm(c.needle)};
        for (const auto& haystack : haystacks) {
            for (const auto& needle : needles) {
                EXPECT_EQ(containsCanonically(haystack, needle), c.contains) << c.description;
                EXPECT_EQ(hasPrefixCanonically(haystack, needle), c.startsWith) << c.description;
            }
        }
    }
}

TEST(NormalizedText, StoresTheDecomposedForm)
{
    EXPECT_EQ(NormalizedText::fromUtf8("caf\u00e9").nfd(), u"cafe\u0301");
    EXPECT_EQ(NormalizedText::fromUtf8("\ud55c").nfd(), u"\u1112\u1161\u11ab");
    EXPECT_EQ(NormalizedText::fromUtf8("a\u0301\u0323").nfd(), u"a\u0323\u0301");
    EXPECT_EQ(NormalizedText::fromUtf8("plain").nfd(), u"plain");
}

TEST(NormalizedText, DefaultConstructedIsTheEmptyText)
{
    const NormalizedText empty;
    EXPECT_TRUE(empty.contains(NormalizedText()));
    EXPECT_TRUE(empty.startsWith(NormalizedText()));
    EXPECT_FALSE(empty.contains(NormalizedText::fromUtf8("a")));
    EXPECT_FALSE(empty.startsWith(NormalizedText::fromUtf8("a")));
    EXPECT_TRUE(NormalizedText::fromUtf8("a").contains(empty));
}

TEST(NormalizedText, LongTextsMatchAcrossTheirWholeLength)
{
    // Many near misses before the one real occurrence, and decomposition of every character.
    std::string haystack;
    for (int i = 0; i < 500; ++i)
        haystack += "caf\u00e9 ";
    haystack += "cafe!";
    const NormalizedText text = NormalizedText::fromUtf8(haystack);
    EXPECT_TRUE(text.contains(NormalizedText::fromUtf8("cafe!")));
    EXPECT_FALSE(text.contains(NormalizedText::fromUtf8("cafe ")));
    EXPECT_TRUE(text.contains(NormalizedText::fromUtf8("e\u0301 c")));
}

} // namespace
} // namespace kestrel::text
