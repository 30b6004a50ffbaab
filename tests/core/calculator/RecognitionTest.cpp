#include "calculator/ExpressionPatterns.h"
#include "calculator/MathCalculator.h"
#include "calculator/PatternSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

icu::UnicodeString icuText(const std::string& utf8)
{
    return icu::UnicodeString::fromUTF8(utf8);
}

struct RecognitionCase {
    const char* text;
    bool recognised;
};

TEST(MathCalculatorRecognition, AcceptsSimpleArithmeticAndRejectsMalformedShapes)
{
    const RecognitionCase cases[] = {
        {"3+4", true},
        {"3 + 4", true},
        {"(2+3)/4", true},
        {"-5", true},
        {"3 - -4", true},
        {"2+(3+4)", true},
        {"(-2)+1", true},
        {"(-2)+3", true},
        {"1.5+2", true},
        {"1.2.3+4", true},
        {"-(2)", true},
        {"()+1", true},
        {" \t3+4\n", true},
        {"\u00a03+4\u2003", true},  // no-break space and em space around the text are trimmed
        {"3\u3000+\r\n4", true},    // ideographic space and a line break inside
        {"\u0661+\u0662", true},    // Arabic-Indic digits
        {"2^10%3", true},
        {"3", false},
        {"+", false},
        {"", false},
        {"   ", false},
        {"3+4=", false},
        {"+5", false},
        {"/5", false},
        {"5-", false},
        {"3+4 +", false},
        {" +5", false},
        {"3/-2", false},
        {"3--4", false},
        {"2(3+4)", false},
        {"(2+3)4", false},
        {"(2+3", false},
        {"2+3)(", false},
        {"(/2)", false},
        {"(2+)", false},
        {".5+1", false},
        {"1.+2", false},
        {"1+.5", false},
        {"1..2+3", false},
        {"1+2.", false},
        {"abc+1", false},
        {"1+x", false},
        {"\u00bd+1", false},      // vulgar fraction one half: numeric but not a decimal digit
        {"3+\u0301" "4", false},  // combining mark
        {"1+\xff", false},        // ill-formed byte
    };
    for (const RecognitionCase& c : cases) {
        EXPECT_EQ(MathCalculator::isMathExpression(c.text), c.recognised) << '"' << c.text << '"';
    }
}

TEST(MathCalculatorRecognition, EmbeddedNulIsPartOfTheText)
{
    EXPECT_FALSE(MathCalculator::isMathExpression(std::string_view("1+2\0" "3", 5)));
    EXPECT_TRUE(MathCalculator::isMathExpression(std::string_view("1+2\0", 3)));
}

TEST(MathCalculatorRecognition, BalancedParentheses)
{
    const RecognitionCase cases[] = {
        {"", true},
        {"(())", true},
        {"((a)b)", true},
        {"no parentheses", true},
        {")(", false},
        {"(()", false},
        {"2+3)(", false},
        {"(2+3", false},
        {"())(()", false},
        // A parenthesis carrying a combining mark is another character.
        {"(\u0301", true},
        {"(\u0301)", false},
    };
    for (const RecognitionCase& c : cases) {
        EXPECT_EQ(MathCalculator::hasBalancedParentheses(c.text), c.recognised) << '"' << c.text << '"';
    }
}

struct RewriteCase {
    const char* input;
    const char* output;
};

TEST(MathCalculatorRecognition, PreprocessingMakesEveryIntegerLiteralFloatingPoint)
{
    const RewriteCase cases[] = {
        {"7/2", "7.0/2.0"},
        {"1.5+2", "1.5+2.0"},
        {"(3)", "(3.0)"},
        {"-4", "-4.0"},
        {"10%3", "10.0%3.0"},
        {"2^10", "2.0^10.0"},
        {"1.2.3", "1.2.3.0"},
        {"5.", "5.0."},
        {"12", "12.0"},
        {"", ""},
        {"abc", "abc"},
        {"(.5)+1", "(.5.0)+1.0"},
        {"1 . 5", "1.0 . 5.0"},
        {"x1.2y", "x1.2y"},
        {"\u0663+\u0664", "\u0663.0+\u0664.0"},
        {"1.\u0665", "1.\u0665"},
        {"\u00bd", "\u00bd.0"},            // other numerals count as numeric too
        {"1\u0301+2", "1\u0301.0+2.0"},    // the suffix follows the whole character
        {"\xff" "1", "\xef\xbf\xbd" "1.0"}, // ill-formed byte read as U+FFFD
    };
    for (const RewriteCase& c : cases) {
        EXPECT_EQ(MathCalculator::preprocessExpression(c.input), c.output) << '"' << c.input << '"';
    }
}

TEST(MathCalculatorRecognition, SecondValidationOfRewrittenText)
{
    const RecognitionCase cases[] = {
        {"7.0/2.0", true},
        {"1.0 + 2.0", true},
        {"(.5.0)+1.0", true},
        {"5.0.+1.0", true},
        {"1.2.3.0+4.0", false},
        {"\u0661.\u0662.\u0663", false},
        {"1.0..2.0", false},
        {"1.0+x", false},
        {"", false},
        {"1.0+\xff", false},
    };
    for (const RecognitionCase& c : cases) {
        EXPECT_EQ(MathCalculator::isValidProcessedExpression(c.text), c.recognised) << '"' << c.text << '"';
    }
}

// Two patterns are written differently from their defining form to stay linear on long texts. Each must
// find a match in exactly the texts where the defining form does: checked on every text up to length 8
// over a small alphabet and on random longer texts, all short enough for the defining form to be fast.
struct EquivalentPatterns {
    const char* defining;
    std::string_view used;
    std::vector<std::string> smallAlphabet;
};

TEST(MathCalculatorRecognition, LinearPatternsAgreeWithTheirDefiningForms)
{
    const EquivalentPatterns pairs[] = {
        {R"(\d+\.\d+\.\d+)", ExpressionPatterns::twoPeriodNumber, {"1", "\u0663", ".", "+"}},
        {R"([\+\-\*\/\%\^]{2,})", ExpressionPatterns::doubledOperator, {"1", "-", "^", " "}},
    };
    // Digits of several scripts, and numerals that are not decimal digits (superscript two, one half).
    const std::vector<std::string> wide = {"0",  "7", "9", "\u0663", "\u0968", "\uff13", "\u00b2", "\u00bd", ".",
                                           ".",  ".", " ", "+",       "-",       "*",       "/",       "%",       "^",
                                           "(", ")", "a"};
    for (const EquivalentPatterns& pair : pairs) {
        const PatternSearch defining(pair.defining);
        const PatternSearch used(pair.used);
        ASSERT_TRUE(defining.isCompiled());
        ASSERT_TRUE(used.isCompiled());

        std::size_t matches = 0;
        std::size_t checked = 0;
        auto compare = [&](const std::string& text) {
            const SearchOutcome expected = defining.findIn(icuText(text));
            ASSERT_NE(expected, SearchOutcome::failed) << text;
            ASSERT_EQ(used.findIn(icuText(text)), expected) << pair.used << " on \"" << text << '"';
            matches += expected == SearchOutcome::found ? 1 : 0;
            ++checked;
        };

        std::vector<std::string> level = {""};
        for (int length = 1; length <= 8; ++length) {
            std::vector<std::string> next;
            next.reserve(level.size() * pair.smallAlphabet.size());
            for (const std::string& prefix : level) {
                for (const std::string& symbol : pair.smallAlphabet) {
                    next.push_back(prefix + symbol);
                    compare(next.back());
                }
            }
            level = std::move(next);
        }

        std::mt19937 random(20240601);
        std::uniform_int_distribution<std::size_t> lengthOf(0, 40);
        std::uniform_int_distribution<std::size_t> symbolOf(0, wide.size() - 1);
        for (int sample = 0; sample < 20000; ++sample) {
            std::string text;
            for (std::size_t k = lengthOf(random); k > 0; --k) {
                text += wide[symbolOf(random)];
            }
            compare(text);
        }
        // Both outcomes must be well represented for the comparison to mean something.
        EXPECT_GT(matches, 2000U) << pair.used;
        EXPECT_GT(checked - matches, 2000U) << pair.used;
    }
}

// Every search runs to completion on megabyte texts: none may end in an ICU error, which the predicates
// would read as a rejection whatever the text.
TEST(MathCalculatorRecognition, MegabyteTextsAreSearchedToTheEnd)
{
    const std::string digits(1'000'000, '7');
    const std::string operators(1'000'000, '+');
    std::string arabicDigits;
    for (int k = 0; k < 300'000; ++k) {
        arabicDigits += "\u0663";
    }
    const std::string texts[] = {
        digits,
        operators,
        "1.0+" + digits + "." + digits + ".5",
        "1.0+" + arabicDigits + "." + arabicDigits + ".5",
        "(" + digits + ")" + operators + "x",
        std::string(500'000, '(') + std::string(500'000, ')'),
    };
    for (const std::string_view pattern :
         {ExpressionPatterns::allowedCharactersOnly, ExpressionPatterns::doubledOperator,
          ExpressionPatterns::operatorBesidePeriod, ExpressionPatterns::operatorAfterOpening,
          ExpressionPatterns::operatorBeforeClosing, ExpressionPatterns::impliedMultiplication,
          ExpressionPatterns::twoPeriodNumber}) {
        const PatternSearch search(pattern);
        for (const std::string& text : texts) {
            EXPECT_NE(search.findIn(icuText(text)), SearchOutcome::failed) << pattern << " on " << text.substr(0, 12);
        }
    }

    EXPECT_TRUE(MathCalculator::isValidProcessedExpression(digits + ".0+1.0"));
    EXPECT_FALSE(MathCalculator::isValidProcessedExpression("1.0+" + digits + "." + digits + ".5"));
    EXPECT_TRUE(MathCalculator::isMathExpression(digits + "+1"));
    EXPECT_FALSE(MathCalculator::isMathExpression("1" + operators + "1"));
}

// An ICU error is never an answer about the text: a pattern that does not compile and a search that
// overflows ICU's backtracking stack both report `failed`, on texts where a completed search would have
// found nothing.
TEST(PatternSearchTest, IcuErrorsAreReportedAsFailuresNotAsMissingMatches)
{
    const PatternSearch broken("(unclosed");
    EXPECT_FALSE(broken.isCompiled());
    EXPECT_EQ(broken.findIn(icuText("")), SearchOutcome::failed);
    EXPECT_EQ(broken.findIn(icuText("nothing here")), SearchOutcome::failed);

    const PatternSearch backtracking("(?:a|b)*c");
    ASSERT_TRUE(backtracking.isCompiled());
    EXPECT_EQ(backtracking.findIn(icuText("abba")), SearchOutcome::notFound);
    EXPECT_EQ(backtracking.findIn(icuText("abbac")), SearchOutcome::found);
    EXPECT_EQ(backtracking.findIn(icuText(std::string(4'000'000, 'a'))), SearchOutcome::failed);

    icu::UnicodeString bogus;
    bogus.setToBogus();
    EXPECT_EQ(PatternSearch("a").findIn(bogus), SearchOutcome::failed);
}

} // namespace
} // namespace kestrel
