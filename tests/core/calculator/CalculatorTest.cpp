#include "calculator/CalculatorError.h"
#include "calculator/ExpressionEvaluator.h"
#include "calculator/MathCalculator.h"
#include "calculator/NumberText.h"
#include "calculator/PatternSearch.h"

#include "support/EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>

namespace kestrel {
namespace {

TEST(MathCalculator, RecognisesSimpleArithmeticOnly)
{
    // clang-format off
    const std::pair<std::string, bool> cases[] = {
        {"(2+3)/4", true}, {"-(2)", true}, {"3 - -4", true}, {"(-2)+1", true}, {"1.2.3+4", true}, {"()+1", true},
        {"3\u3000+\r\n4", true}, {"\u0661+\u0662", true}, {"2^10%3", true},
        {"3", false}, {"()+()", false}, {"\u2003+5", false}, {"5-", false}, {"3--4", false},
        {"2(3+4)", false}, {"(2+3)4", false}, {"(2+3", false}, {"2+3)(", false}, {"(/2)", false}, {"(2+)", false},
        {".5+1", false}, {"1+2.", false}, {"1.+2", false}, {"1+.5", false}, {"1..2+3", false}, {"abc+1", false},
        {"\u00bd+1", false}, {"3+\u0301" "4", false}, {"1+\xff", false}, {std::string("1+2\0" "3", 5), false},
        {std::string(1'000'000, '7') + "+1", true}, // searched to the end, without an ICU error
    };
    // clang-format on
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(MathCalculator::isMathExpression(text), accepted) << '"' << text.substr(0, 40) << '"';

    // A search that ends in an ICU error is a failure (which rejects the text), never "not found".
    EXPECT_EQ(PatternSearch("(unclosed").findIn(*PatternSearch::icuText("x")), SearchOutcome::failed);
    EXPECT_EQ(PatternSearch("(?:a|b)*c").findIn(*PatternSearch::icuText(std::string(4'000'000, 'a'))),
              SearchOutcome::failed);
    // Parentheses are whole characters: one carrying a combining mark is none.
    for (const auto& [text, balanced] :
         {std::pair{"((a)b)", true}, {"())(()", false}, {"(\u0301", true}, {"(\u0301)", false}})
        EXPECT_EQ(MathCalculator::hasBalancedParentheses(text), balanced) << text;
}

TEST(MathCalculator, EvaluatesWithPrecedenceAndAssociativityOrSaysWhyNot)
{
    const CalculatorError result = CalculatorError::invalidResult;
    const CalculatorError expression = CalculatorError::invalidExpression;
    const std::size_t limit = ExpressionEvaluator::maxNesting;
    const auto nested = [](std::size_t depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); };
    std::string siblings; // more parentheses than the limit, but never two open at once
    for (std::size_t k = 0; k <= limit; ++k)
        siblings += "(1)+";
    const std::string digits(1'000'000, '7');
    // clang-format off
    const std::pair<std::string, EvaluationResult> cases[] = {
        {"7/2", 3.5}, {"2+3*4", 14.0}, {"(2+3)*4", 20.0}, {"10-4-3", 3.0}, {"100/10/5", 2.0}, {"1-2^2", -3.0},
        {"3\u2003+\u00a04\n", 7.0}, {"-2^2", -4.0}, {"(-2)^2", 4.0}, {"2*-3", -6.0}, {"3--4", 7.0}, {"2^3^2", 512.0},
        {"2^-3^2", std::pow(2.0, -9.0)}, {"-7%3", -1.0}, {"7.5%2", 1.5}, {"10%4*3", 6.0},
        {"\u0661\u0662.\u0665*\u0662", 25.0}, {"\u0967\u0966/4", 2.5}, {"9007199254740993", 9007199254740992.0},
        {"0." + std::string(319, '0') + "1", 1e-320}, {"0." + std::string(400, '0') + "1", 0.0},
        {nested(limit), 1.0}, {siblings + "0", static_cast<double>(limit + 1)}, {std::string(1'000'000, '-') + "3", 3.0},
        {std::string(1'000'000, '0') + "." + digits + "*0", 0.0}, // long digit runs are searched to the end
        {"1/0", result}, {"0/0", result}, {"(1/0)^0", result}, {"1" + std::string(400, '0') + "*0", result},
        {"(.5)+1", expression}, {"()+1", expression}, {"2(3)", expression}, {"1+", expression}, {"*2", expression},
        {"(1+2", expression}, {"1)", expression}, {"", expression}, {"1e3", expression}, {"\u00bd+1", expression},
        {"1/0+(", expression}, {nested(limit + 1), expression},
    };
    // clang-format on
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(MathCalculator::evaluate(text), expected) << text.substr(0, 40);
}

// The row's text: whole values plainly, others per locale (in the numeric category of the user's); the
// clipboard's: plain inside the range where doubles are exact, the exponent form outside.
TEST(MathCalculator, FormatsTheRowPerLocaleAndTheClipboardTextPlainly)
{
    const double twoTo63 = 9223372036854775808.0;
    // clang-format off
    const std::tuple<double, const char*, const char*> rows[] = {
        {1234.0, "de_DE", "1234"}, {-twoTo63, "en_US", "-9223372036854775808"}, {-1234.5, "de_DE", "-1.234,5"},
        {twoTo63, "de_DE", "9.223.372.036.854.775.808"}, {2.0 / 3.0, "en_US", "0.6666666667"}, {1e-11, "en_US", "0"},
    };
    const std::pair<double, const char*> clipboard[] = {
        {-0.0, "-0.0"}, {-3.0, "-3.0"}, {0.1 + 0.2, "0.30000000000000004"}, {9007199254740992.0, "9007199254740992.0"},
        {9007199254740994.0, "9.007199254740994e+15"}, {1e-4, "0.0001"},
        {std::nextafter(1e-4, 0.0), "9.999999999999999e-05"},
    };
    // clang-format on
    for (const auto& [value, locale, text] : rows)
        EXPECT_EQ(MathCalculator::formatResult(value, locale), text) << value << " in " << locale;
    for (const auto& [value, text] : clipboard)
        EXPECT_EQ(defaultTextForm(value), text);
    test::EnvironmentGuard environment;
    environment.set("LC_ALL", nullptr);
    environment.set("LANG", "en_US.UTF-8");
    environment.set("LC_NUMERIC", "de_DE.UTF-8");
    EXPECT_EQ(MathCalculator::formatResult(1234.5), "1.234,5");
}

} // namespace
} // namespace kestrel
