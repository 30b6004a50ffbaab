#include "text/UnicodeText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::text {
namespace {

struct LowerCaseCase {
    const char* description;
    std::string input;
    std::string expected;
};

std::string repeated(const std::string& piece, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

TEST(LowerCase, AppliesFullRootLocaleMapping)
{
    const std::vector<LowerCaseCase> cases = {
        {"ASCII letters only change", "Hello WORLD 123 {}[]@", "hello world 123 {}[]@"},
        {"empty", "", ""},
        {"dotted capital I maps to i + combining dot", "\u0130stanbul", "i\u0307stanbul"},
        {"capital I is not the Turkish dotless i", "ISTANBUL", "istanbul"},
        {"sharp s stays sharp s", "Stra\u00dfe", "stra\u00dfe"},
        {"capital sharp s becomes sharp s", "\u1e9e", "\u00df"},
        {"Greek final sigma", "\u039f\u0394\u039f\u03a3", "\u03bf\u03b4\u03bf\u03c2"},
        {"Greek non-final sigma", "\u03a3\u0391", "\u03c3\u03b1"},
        {"Cyrillic", "\u041c\u041e\u0421\u041a\u0412\u0410", "\u043c\u043e\u0441\u043a\u0432\u0430"},
        {"mixed scripts, CJK untouched", "Caf\u00c9 \u0391\u03b8\u03ae\u03bd\u03b1 \u6771\u4eac",
         "caf\u00e9 \u03b1\u03b8\u03ae\u03bd\u03b1 \u6771\u4eac"},
        {"title-case digraph", "\u01c5", "\u01c6"},
        {"supplementary plane (Deseret)", "\U00010400x", "\U00010428x"},
        {"invalid byte becomes U+FFFD", "A\xff" "B", "a\ufffd" "b"},
        {"truncated sequence becomes one U+FFFD", "X\xe2\x82", "x\ufffd"},
        {"expanding mapping longer than any first guess", repeated("\u0130", 200), repeated("i\u0307", 200)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lowerCase(c.input), c.expected) << c.description;
}

TEST(Graphemes, SplitsIntoUserPerceivedCharacters)
{
    struct Case {
        const char* description;
        std::string input;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"empty", "", {}},
        {"ASCII", "ab1", {"a", "b", "1"}},
        {"CR LF is one character", "a\r\nb", {"a", "\r\n", "b"}},
        {"combining mark joins its base", "e\u0301x", {"e\u0301", "x"}},
        {"two marks on one base", "a\u0323\u0301", {"a\u0323\u0301"}},
        {"Hangul jamo form one syllable", "\u1112\u1161\u11ab\u1100", {"\u1112\u1161\u11ab", "\u1100"}},
        {"two flags", "\U0001f1e9\U0001f1ea\U0001f1eb\U0001f1f7", {"\U0001f1e9\U0001f1ea", "\U0001f1eb\U0001f1f7"}},
        {"ZWJ family is one", "\U0001f468\u200d\U0001f469\u200d\U0001f467!",
         {"\U0001f468\u200d\U0001f469\u200d\U0001f467", "!"}},
        {"skin tone modifier", "\U0001f44d\U0001f3fd", {"\U0001f44d\U0001f3fd"}},
        {"ill-formed byte is its own U+FFFD", "a\xff" "b", {"a", "\ufffd", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(graphemes(c.input), c.expected) << c.description;
}

TEST(CodePointProperties, NumericDigitAndWhiteSpace)
{
    struct Case {
        const char* description;
        char32_t codePoint;
        bool numeric;
        int digit;
        bool whiteSpace;
    };
    const std::vector<Case> cases = {
        {"ASCII zero", U'0', true, 0, false},
        {"ASCII seven", U'7', true, 7, false},
        {"ASCII nine", U'9', true, 9, false},
        {"letter", U'a', false, -1, false},
        {"period", U'.', false, -1, false},
        {"Arabic-Indic three", 0x0663, true, 3, false},
        {"Extended Arabic-Indic five", 0x06F5, true, 5, false},
        {"Devanagari four", 0x096A, true, 4, false},
        {"fullwidth nine", 0xFF19, true, 9, false},
        {"mathematical double-struck zero", 0x1D7D8, true, 0, false},
        {"Roman numeral eight: numeral, not a digit", 0x2167, true, -1, false},
        {"vulgar fraction one half", 0x00BD, true, -1, false},
        {"superscript two: digit type but not Nd", 0x00B2, true, -1, false},
        {"CJK ideograph three", 0x4E09, true, -1, false},
        {"space", U' ', false, -1, true},
        {"tab", U'\t', false, -1, true},
        {"line feed", U'\n', false, -1, true},
        {"next line", 0x0085, false, -1, true},
        {"no-break space", 0x00A0, false, -1, true},
        {"line separator", 0x2028, false, -1, true},
        {"ideographic space", 0x3000, false, -1, true},
        {"zero width space is not white space", 0x200B, false, -1, false},
        {"byte order mark is not white space", 0xFEFF, false, -1, false},
        {"Mongolian vowel separator is not white space", 0x180E, false, -1, false},
        {"lone surrogate", 0xD800, false, -1, false},
        {"beyond Unicode", 0x110000, false, -1, false},
        {"far beyond Unicode", 0xFFFFFFFF, false, -1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isNumeric(c.codePoint), c.numeric) << c.description;
        EXPECT_EQ(decimalDigitValue(c.codePoint), c.digit) << c.description;
        EXPECT_EQ(isWhiteSpace(c.codePoint), c.whiteSpace) << c.description;
    }
}

TEST(Utf8Repair, ReplacesEachMaximalSubpart)
{
    struct Case {
        const char* description;
        std::string input;
        std::u32string codePoints;
    };
    const std::u32string fffd(1, U'\ufffd');
    const std::vector<Case> cases = {
        {"valid mixed text", "h\u00e9 \u20ac\U0001f600", U"h\u00e9 \u20ac\U0001f600"},
        {"embedded NUL is valid", std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
        {"lone continuation byte", "\x80", fffd},
        {"overlong two-byte slash", "\xc0\xaf", fffd + fffd},
        {"overlong three-byte NUL", "\xe0\x80\x80", fffd + fffd + fffd},
        {"encoded surrogate", "\xed\xa0\x80", fffd + fffd + fffd},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"truncated four-byte at end", "\xf0\x9f\x98", fffd},
        {"truncated four-byte then ASCII", "\xf0\x9f\x98" "A", fffd + U"A"},
        {"bytes never used in UTF-8", "\xfe\xff", fffd + fffd},
        {"valid after invalid", "\xff\u00e9", fffd + U"\u00e9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toUtf32(c.input), c.codePoints) << c.description;
        EXPECT_EQ(toValidUtf8(c.input), toUtf8(c.codePoints)) << c.description;
        // Repaired text is valid, so a second repair changes nothing.
        EXPECT_EQ(toValidUtf8(toValidUtf8(c.input)), toValidUtf8(c.input)) << c.description;
    }
}

TEST(Utf8Encoding, EncodesLengthBoundariesAndReplacesNonScalarValues)
{
    struct Case {
        char32_t codePoint;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {0x00, std::string(1, '\0')},
        {0x7F, "\x7f"},
        {0x80, "\xc2\x80"},
        {0x7FF, "\xdf\xbf"},
        {0x800, "\xe0\xa0\x80"},
        {0xFFFF, "\xef\xbf\xbf"},
        {0x10000, "\xf0\x90\x80\x80"},
        {0x10FFFF, "\xf4\x8f\xbf\xbf"},
        {0xD800, "\xef\xbf\xbd"},
        {0xDFFF, "\xef\xbf\xbd"},
        {0x110000, "\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toUtf8(std::u32string(1, c.codePoint)), c.bytes) << std::hex << static_cast<unsigned>(c.codePoint);
        const bool scalar = c.codePoint < 0xD800 || (c.codePoint > 0xDFFF && c.codePoint <= 0x10FFFF);
        if (scalar) {
            EXPECT_EQ(toUtf32(c.bytes), std::u32string(1, c.codePoint));
        }
    }
}

TEST(Utf16Conversion, PairsSurrogatesAndReplacesLoneOnes)
{
    EXPECT_EQ(toUtf16("a\U0001f600\u00e9"), u"a\U0001f600\u00e9");
    EXPECT_EQ(toUtf16("\xff"), u"\ufffd");
    EXPECT_EQ(fromUtf16(u"a\U0001f600\u00e9"), "a\U0001f600\u00e9");
    const std::u16string loneLead{u'x', static_cast<char16_t>(0xD83D), u'y'};
    EXPECT_EQ(fromUtf16(loneLead), "x\ufffdy");
    const std::u16string loneTrail{static_cast<char16_t>(0xDE00)};
    EXPECT_EQ(fromUtf16(loneTrail), "\ufffd");
    const std::u16string leadAtEnd{u'x', static_cast<char16_t>(0xD83D)};
    EXPECT_EQ(fromUtf16(leadAtEnd), "x\ufffd");
}

TEST(CanonicalComposition, EquivalentTextsGetTheSameForm)
{
    struct Case {
        const char* description;
        std::string input;
        std::string nfc;
    };
    const std::vector<Case> cases = {
        {"ASCII unchanged", "Safari 2+3", "Safari 2+3"},
        {"e + acute composes", "cafe\u0301", "caf\u00e9"},
        {"already composed", "caf\u00e9", "caf\u00e9"},
        {"Hangul jamo compose", "\u1112\u1161\u11ab", "\ud55c"},
        {"Angstrom sign is a singleton", "\u212b", "\u00c5"},
        {"marks are put in canonical order", "a\u0301\u0323", "\u1ea1\u0301"},
        {"other order, same form", "a\u0323\u0301", "\u1ea1\u0301"},
        {"ill-formed bytes repaired", "e\xff\u0301", "e\ufffd\u0301"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toNfc(c.input), c.nfc) << c.description;
}

TEST(AsciiCheck, LooksAtEveryByte)
{
    EXPECT_TRUE(isAscii(""));
    EXPECT_TRUE(isAscii("plain ASCII text of more than eight bytes"));
    // A high byte in every position of a word and of the tail.
    const std::string base = "abcdefghijklmnopq";
    for (std::size_t i = 0; i < base.size(); ++i) {
        std::string text = base;
        text[i] = '\x80';
        EXPECT_FALSE(isAscii(text)) << i;
    }
}

} // namespace
} // namespace kestrel::text
