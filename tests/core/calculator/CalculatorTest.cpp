#include "calculator/CalculatorError.h"
#include "calculator/ExpressionEvaluator.h"
#include "calculator/ExpressionPatterns.h"
#include "calculator/MathCalculator.h"
#include "calculator/NumberText.h"
#include "calculator/PatternSearch.h"

#include "support/EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace kestrel {
namespace {

icu::UnicodeString icuText(const std::string& utf8)
{
    return PatternSearch::icuText(utf8).value();
}

using TextCase = std::pair<std::string, bool>; // a text, and whether it is accepted

TEST(MathCalculator, RecognisesSimpleArithmeticOnly)
{
    const TextCase cases[] = {
        {"3+4", true}, {"(2+3)/4", true}, {"-5", true}, {"3 - -4", true}, {"(-2)+1", true}, {"1.2.3+4", true},
        {"-(2)", true}, {"()+1", true}, {" \t3+4\n", true}, {"\u00a03+4\u2003", true}, {"3\u3000+\r\n4", true},
        {"\u0661+\u0662", true}, {"2^10%3", true}, {std::string("1+2\0", 3), true},
        {"3", false}, {"", false}, {"   ", false}, {"3+4=", false}, {"+5", false}, {" +5", false},
        {"5-", false}, {"3/-2", false}, {"3--4", false}, {"2(3+4)", false}, {"(2+3)4", false},
        {"(2+3", false}, {"2+3)(", false}, {"(/2)", false}, {"(2+)", false}, {".5+1", false},
        {"1.+2", false}, {"1+.5", false}, {"1..2+3", false}, {"1+2.", false}, {"abc+1", false},
        {"\u00bd+1", false}, {"3+\u0301" "4", false}, {"1+\xff", false}, {std::string("1+2\0" "3", 5), false},
    };
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(MathCalculator::isMathExpression(text), accepted) << '"' << text << '"';

    const TextCase balanced[] = {{"((a)b)", true}, {")(", false}, {"())(()", false}, {"(\u0301", true},
                                 {"(\u0301)", false}};
    for (const auto& [text, accepted] : balanced)
        EXPECT_EQ(MathCalculator::hasBalancedParentheses(text), accepted) << text;
}

TEST(MathCalculator, RewritesIntegerLiteralsAndValidatesTheResult)
{
    const std::pair<const char*, const char*> rewrites[] = {
        {"7/2", "7.0/2.0"}, {"1.5+2", "1.5+2.0"}, {"1.2.3", "1.2.3.0"}, {"5.", "5.0."},
        {"(.5)+1", "(.5.0)+1.0"}, {"1 . 5", "1.0 . 5.0"}, {"\u0663+1.\u0665", "\u0663.0+1.\u0665"},
        {"\u00bd", "\u00bd.0"}, {"1\u0301+2", "1\u0301.0+2.0"}, {"\xff" "1", "\ufffd" "1.0"},
    };
    for (const auto& [input, output] : rewrites)
        EXPECT_EQ(MathCalculator::preprocessExpression(input), output) << input;

    const TextCase cases[] = {
        {"7.0/2.0", true}, {"(.5.0)+1.0", true}, {"5.0.+1.0", true}, {"1.2.3.0+4.0", false},
        {"\u0661.\u0662.\u0663", false}, {"1.0..2.0", false}, {"1.0+x", false}, {"", false},
    };
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(MathCalculator::isValidProcessedExpression(text), accepted) << text;
}

// Two patterns are written differently from their defining form to stay linear on long texts; each must
// match exactly the texts the defining form matches: every text of up to eight symbols is compared.
TEST(MathCalculator, LinearPatternsAgreeWithTheirDefiningForms)
{
    const std::tuple<const char*, std::string_view, std::vector<std::string>> pairs[] = {
        {R"(\d+\.\d+\.\d+)", ExpressionPatterns::twoPeriodNumber, {"7", "\u0663", ".", "+"}},
        {R"([\+\-\*\/\%\^]{2,})", ExpressionPatterns::doubledOperator, {"7", "-", "^", " "}},
    };
    for (const auto& [defining, used, symbols] : pairs) {
        const PatternSearch reference(defining), search(used);
        int found = 0, checked = 0;
        std::vector<std::string> level = {""};
        for (int length = 1; length <= 8; ++length) {
            std::vector<std::string> next;
            for (const std::string& prefix : level) {
                for (const std::string& symbol : symbols) {
                    next.push_back(prefix + symbol);
                    const SearchOutcome expected = reference.findIn(icuText(next.back()));
                    ASSERT_EQ(search.findIn(icuText(next.back())), expected) << used << " on " << next.back();
                    found += expected == SearchOutcome::found;
                    ++checked;
                }
            }
            level = std::move(next);
        }
        EXPECT_GT(found, 1000) << used; // both outcomes well represented
        EXPECT_GT(checked - found, 1000) << used;
    }
}

// No search may end in an ICU error on megabyte texts: a failed search reads as a rejection.
TEST(MathCalculator, MegabyteTextsAreSearchedToTheEnd)
{
    const std::string digits(1'000'000, '7');
    const std::string operators(1'000'000, '+');
    for (const std::string_view pattern :
         {ExpressionPatterns::allowedCharactersOnly, ExpressionPatterns::doubledOperator,
          ExpressionPatterns::operatorBesidePeriod, ExpressionPatterns::operatorAfterOpening,
          ExpressionPatterns::operatorBeforeClosing, ExpressionPatterns::impliedMultiplication,
          ExpressionPatterns::twoPeriodNumber}) {
        const PatternSearch search(pattern);
        for (const std::string& text : {digits, operators, "1.0+" + digits + "." + digits + ".5"})
            EXPECT_NE(search.findIn(icuText(text)), SearchOutcome::failed) << pattern << " on " << text.substr(0, 6);
    }
    EXPECT_TRUE(MathCalculator::isMathExpression(digits + "+1"));
    EXPECT_TRUE(MathCalculator::isValidProcessedExpression(digits + ".0+1.0"));
    // ICU errors are failures, never "not found".
    EXPECT_EQ(PatternSearch("(unclosed").findIn(icuText("x")), SearchOutcome::failed);
    EXPECT_EQ(PatternSearch("(?:a|b)*c").findIn(icuText(std::string(4'000'000, 'a'))), SearchOutcome::failed);
}

TEST(MathCalculator, EvaluatesWithPrecedenceAndAssociativity)
{
    const std::pair<std::string, double> cases[] = {
        {"7/2", 3.5}, {"0.1+0.2", 0.1 + 0.2}, {"2+3*4", 14.0}, {"(2+3)*4", 20.0}, {"10-4-3", 3.0},
        {"100/10/5", 2.0}, {"1-2^2", -3.0}, {"3\u2003+\u00a04\n", 7.0}, {"-2^2", -4.0}, {"(-2)^2", 4.0},
        {"-(2+3)", -5.0}, {"2*-3", -6.0}, {"3--4", 7.0}, {"-2^2*3", -12.0}, {"2^3^2", 512.0},
        {"2^-1", 0.5}, {"2^-3^2", std::pow(2.0, -9.0)}, {"-7%3", -1.0}, {"7.5%2", 1.5}, {"10%4*3", 6.0},
        {"2+10%4", 4.0}, {"2^3%5", 3.0}, {"\u0661\u0662.\u0665*\u0662", 25.0}, {"\u0967\u0966/4", 2.5},
        {"9007199254740993", 9007199254740992.0}, {"9007199254740995", 9007199254740996.0},
        {"0." + std::string(319, '0') + "1", 1e-320}, {"0." + std::string(400, '0') + "1", 0.0},
    };
    for (const auto& [expression, value] : cases) {
        SCOPED_TRACE(expression);
        const EvaluationResult result = MathCalculator::evaluate(expression);
        ASSERT_TRUE(std::holds_alternative<double>(result));
        EXPECT_EQ(std::get<double>(result), value);
    }
}

TEST(MathCalculator, FailuresCarryTheirReason)
{
    const CalculatorError result = CalculatorError::invalidResult;
    const CalculatorError expression = CalculatorError::invalidExpression;
    const std::pair<std::string, CalculatorError> cases[] = {
        {"1/0", result}, {"0/0", result}, {"5%0", result}, {"2^1024", result}, {"(-8)^(1/3)", result},
        {"1/(1/0)", result}, {"(1/0)^0", result}, {"1" + std::string(400, '0') + "*0", result},
        {"(.5)+1", expression}, {"1.2.3+4", expression}, {"5.+1", expression}, {"()+1", expression},
        {"2(3)", expression}, {"1 2", expression}, {"1+", expression}, {"*2", expression},
        {"(1+2", expression}, {")1(", expression}, {"", expression}, {"-", expression}, {"1e3", expression},
        {"\u00bd+1", expression}, {"1/0+(", expression},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(text);
        const EvaluationResult outcome = MathCalculator::evaluate(text);
        ASSERT_TRUE(std::holds_alternative<CalculatorError>(outcome));
        EXPECT_EQ(std::get<CalculatorError>(outcome), error);
    }
}

TEST(MathCalculator, DeepAndLongInputs)
{
    const auto value = [](const std::string& text) {
        const EvaluationResult result = MathCalculator::evaluate(text);
        return std::holds_alternative<double>(result) ? std::get<double>(result) : NAN;
    };
    const auto nested = [](std::size_t depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); };
    const std::size_t limit = ExpressionEvaluator::maxNesting;
    EXPECT_EQ(value(nested(limit)), 1.0);
    EXPECT_EQ(MathCalculator::evaluate(nested(limit + 1)), EvaluationResult(CalculatorError::invalidExpression));
    EXPECT_EQ(MathCalculator::evaluate(nested(100'000)), EvaluationResult(CalculatorError::invalidExpression));

    std::string parenthesised, sum = "1", powers = "1";
    for (int k = 1; k < 500'000; ++k) {
        sum += "+1";
        powers += k < 100'000 ? "^1" : "";
        parenthesised += k <= 10'000 ? "(1)+" : "";
    }
    EXPECT_EQ(value(parenthesised + "0"), 10'000.0); // depth counts parentheses open at once
    EXPECT_EQ(value(sum), 500'000.0);
    EXPECT_EQ(value(powers), 1.0);
    EXPECT_EQ(value(std::string(1'000'000, '-') + "3"), 3.0);
}

TEST(MathCalculator, FormatsWholeValuesPlainlyAndOthersPerLocale)
{
    const double twoTo63 = 9223372036854775808.0;
    const std::tuple<double, const char*, const char*> cases[] = {
        {-5.0, "en_US", "-5"}, {1234.0, "de_DE", "1234"}, {-0.0, "en_US", "0"},
        {-twoTo63, "en_US", "-9223372036854775808"}, {twoTo63 - 1024.0, "de_DE", "9223372036854774784"},
        {twoTo63, "en_US", "9,223,372,036,854,775,808"}, {twoTo63, "de_DE", "9.223.372.036.854.775.808"},
        {1e20, "en_US", "100,000,000,000,000,000,000"}, {1234.5, "en_US", "1,234.5"},
        {-1234.5, "de_DE", "-1.234,5"}, {2.0 / 3.0, "en_US", "0.6666666667"}, {0.1 + 0.2, "de_DE", "0,3"},
        {1e-11, "en_US", "0"},
    };
    for (const auto& [value, locale, text] : cases)
        EXPECT_EQ(MathCalculator::formatResult(value, locale), text) << value << " in " << locale;
    EXPECT_EQ(MathCalculator::formatResult(DBL_MAX, "en_US").substr(0, 8), "179,769,");

    test::EnvironmentGuard environment;
    environment.set("LC_ALL", nullptr);
    environment.set("LANG", "en_US.UTF-8");
    environment.set("LC_NUMERIC", "de_DE.UTF-8");
    EXPECT_EQ(MathCalculator::formatResult(1234.5), "1.234,5");
    environment.set("LC_ALL", "C");
    EXPECT_EQ(MathCalculator::formatResult(1234.5), "1,234.5");
}

TEST(MathCalculator, ClipboardTextIsPlainInsideItsRangeAndExponentOutside)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.0"}, {-0.0, "-0.0"}, {-3.0, "-3.0"}, {0.1, "0.1"}, {0.1 + 0.2, "0.30000000000000004"},
        {123456.789, "123456.789"}, {9007199254740992.0, "9007199254740992.0"},
        {9007199254740994.0, "9.007199254740994e+15"}, {1e20, "1e+20"}, {1e-4, "0.0001"},
        {std::nextafter(1e-4, 0.0), "9.999999999999999e-05"}, {-1e-5, "-1e-05"}, {5e-324, "5e-324"},
        {-DBL_MAX, "-1.7976931348623157e+308"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(defaultTextForm(value), text);
}

} // namespace
} // namespace kestrel
