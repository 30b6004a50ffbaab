#include "calculator/CalculatorError.h"
#include "calculator/ExpressionEvaluator.h"
#include "calculator/MathCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>

namespace kestrel {
namespace {

std::string describe(const EvaluationResult& result)
{
    if (const double* value = std::get_if<double>(&result)) {
        return std::to_string(*value);
    }
    return std::string(errorDescription(std::get<CalculatorError>(result)));
}

struct ValueCase {
    const char* expression;
    double value;
};

TEST(MathCalculatorEvaluation, ArithmeticPrecedenceAndAssociativity)
{
    const ValueCase cases[] = {
        {"7/2", 3.5},
        {"2+2", 4.0},
        {"0-5", -5.0},
        {"1.5+2", 3.5},
        {"0.1+0.2", 0.1 + 0.2},
        {"2+3*4", 14.0},
        {"(2+3)*4", 20.0},
        {"10-4-3", 3.0},
        {"100/10/5", 2.0},
        {"1-2^2", -3.0},
        {"(((1)))", 1.0},
        {"3 + 4", 7.0},
        {"3\u2003+\u00a04\n", 7.0},
        // Unary minus, wherever an operand is expected; it binds looser than ^ and tighter than * and /.
        {"-2^2", -4.0},
        {"(-2)^2", 4.0},
        {"-(2+3)", -5.0},
        {"-3*2", -6.0},
        {"2*-3", -6.0},
        {"3--4", 7.0},
        {"--4", 4.0},
        {"-2-3", -5.0},
        {"-2^2*3", -12.0},
        // ^ is right-associative and takes a signed exponent.
        {"2^3^2", 512.0},
        {"2^-1", 0.5},
        {"-2^-2", -0.25},
        {"2^-3^2", std::pow(2.0, -9.0)},
        {"2^0.5", std::sqrt(2.0)},
        // % is the C remainder at the precedence of * and /, left to right.
        {"10%3", 1.0},
        {"-7%3", -1.0},
        {"7.5%2", 1.5},
        {"2*10%4", 0.0},
        {"10%4*3", 6.0},
        {"2+10%4", 4.0},
        {"2^3%5", 3.0},
        // Decimal digits of any script are read by their value.
        {"\u0663+\u0664", 7.0},
        {"\u0661\u0662.\u0665*\u0662", 25.0},
        {"\u06f1\u06f2+1", 13.0},
        {"\u0967\u0966/4", 2.5},
    };
    for (const ValueCase& c : cases) {
        const EvaluationResult result = MathCalculator::evaluate(c.expression);
        ASSERT_TRUE(std::holds_alternative<double>(result)) << c.expression << ": " << describe(result);
        EXPECT_EQ(std::get<double>(result), c.value) << c.expression;
    }
}

struct FailureCase {
    std::string expression;
    CalculatorError error;
};

TEST(MathCalculatorEvaluation, FailuresCarryTheirReason)
{
    const FailureCase cases[] = {
        {"1/0", CalculatorError::invalidResult},
        {"-1/0", CalculatorError::invalidResult},
        {"0/0", CalculatorError::invalidResult},
        {"5%0", CalculatorError::invalidResult},
        {"2^1024", CalculatorError::invalidResult},
        {"(-8)^(1/3)", CalculatorError::invalidResult},
        {"0^-1", CalculatorError::invalidResult},
        // A division by zero fails even where later arithmetic would turn the infinity into a number.
        {"1/(1/0)", CalculatorError::invalidResult},
        {"(1/0)^0", CalculatorError::invalidResult},
        {"1" + std::string(400, '0'), CalculatorError::invalidResult},
        {"1" + std::string(400, '0') + "*0", CalculatorError::invalidResult},
        {"(.5)+1", CalculatorError::invalidExpression},
        {"1.2.3+4", CalculatorError::invalidExpression},
        {"1..2", CalculatorError::invalidExpression},
        {"5.+1", CalculatorError::invalidExpression},
        {"()+1", CalculatorError::invalidExpression},
        {"2(3)", CalculatorError::invalidExpression},
        {"(2)3", CalculatorError::invalidExpression},
        {"1 2", CalculatorError::invalidExpression},
        {"1+", CalculatorError::invalidExpression},
        {"+1", CalculatorError::invalidExpression},
        {"*2", CalculatorError::invalidExpression},
        {"(1+2", CalculatorError::invalidExpression},
        {"1+2)", CalculatorError::invalidExpression},
        {")1(", CalculatorError::invalidExpression},
        {"", CalculatorError::invalidExpression},
        {"   ", CalculatorError::invalidExpression},
        {"-", CalculatorError::invalidExpression},
        {"abc", CalculatorError::invalidExpression},
        {"1e3", CalculatorError::invalidExpression},
        {"\u00bd+1", CalculatorError::invalidExpression},
        {"1+\xff", CalculatorError::invalidExpression},
        // Unreadable text is reported as such even when it also divides by zero.
        {"1/0+(", CalculatorError::invalidExpression},
    };
    for (const FailureCase& c : cases) {
        const EvaluationResult result = MathCalculator::evaluate(c.expression);
        ASSERT_TRUE(std::holds_alternative<CalculatorError>(result)) << c.expression << ": " << describe(result);
        EXPECT_EQ(std::get<CalculatorError>(result), c.error) << c.expression;
    }
}

TEST(MathCalculatorEvaluation, ErrorDescriptions)
{
    EXPECT_EQ(errorDescription(CalculatorError::invalidExpression), "Invalid mathematical expression");
    EXPECT_EQ(errorDescription(CalculatorError::invalidResult), "Invalid result");
    EXPECT_EQ(errorDescription(CalculatorError::divisionByZero), "Division by zero");
}

TEST(MathCalculatorEvaluation, NestingBeyondTheLimitFailsWithoutExhaustingTheStack)
{
    const std::size_t limit = ExpressionEvaluator::maxNesting;
    auto nested = [](std::size_t depth) {
        return std::string(depth, '(') + "1" + std::string(depth, ')');
    };
    const EvaluationResult atLimit = MathCalculator::evaluate(nested(limit));
    ASSERT_TRUE(std::holds_alternative<double>(atLimit)) << describe(atLimit);
    EXPECT_EQ(std::get<double>(atLimit), 1.0);

    for (const std::size_t depth : {limit + 1, std::size_t{100'000}}) {
        const EvaluationResult result = MathCalculator::evaluate(nested(depth));
        ASSERT_TRUE(std::holds_alternative<CalculatorError>(result)) << depth;
        EXPECT_EQ(std::get<CalculatorError>(result), CalculatorError::invalidExpression) << depth;
    }
    // Depth counts parentheses open at once, not parentheses in total.
    std::string sequential;
    for (std::size_t k = 0; k < 10'000; ++k) {
        sequential += "(1)+";
    }
    sequential += "0";
    const EvaluationResult flat = MathCalculator::evaluate(sequential);
    ASSERT_TRUE(std::holds_alternative<double>(flat)) << describe(flat);
    EXPECT_EQ(std::get<double>(flat), 10'000.0);
}

TEST(MathCalculatorEvaluation, LongInputsEvaluate)
{
    // A flat sum of about a megabyte.
    std::string sum = "1";
    for (int k = 1; k < 500'000; ++k) {
        sum += "+1";
    }
    const EvaluationResult total = MathCalculator::evaluate(sum);
    ASSERT_TRUE(std::holds_alternative<double>(total)) << describe(total);
    EXPECT_EQ(std::get<double>(total), 500'000.0);

    // Chains of unary minus and of powers are as long as the text allows.
    const EvaluationResult negated = MathCalculator::evaluate(std::string(1'000'000, '-') + "3");
    ASSERT_TRUE(std::holds_alternative<double>(negated)) << describe(negated);
    EXPECT_EQ(std::get<double>(negated), 3.0);

    std::string powers = "1";
    for (int k = 0; k < 100'000; ++k) {
        powers += "^1";
    }
    const EvaluationResult tower = MathCalculator::evaluate(powers);
    ASSERT_TRUE(std::holds_alternative<double>(tower)) << describe(tower);
    EXPECT_EQ(std::get<double>(tower), 1.0);
}

TEST(MathCalculatorEvaluation, LongLiteralsRoundCorrectly)
{
    const ValueCase cases[] = {
        {"0.1000000000000000000000000000000000000000000000000000000000000000000000000000000001", 0.1},
        {"9007199254740993", 9007199254740992.0}, // halfway between two doubles: ties to even
        {"9007199254740995", 9007199254740996.0},
    };
    for (const ValueCase& c : cases) {
        const EvaluationResult result = MathCalculator::evaluate(c.expression);
        ASSERT_TRUE(std::holds_alternative<double>(result)) << c.expression;
        EXPECT_EQ(std::get<double>(result), c.value) << c.expression;
    }
    // Below the smallest subnormal a literal is zero; above it, the nearest subnormal.
    const EvaluationResult tiny = MathCalculator::evaluate("0." + std::string(400, '0') + "1");
    ASSERT_TRUE(std::holds_alternative<double>(tiny));
    EXPECT_EQ(std::get<double>(tiny), 0.0);
    const EvaluationResult subnormal = MathCalculator::evaluate("0." + std::string(319, '0') + "1");
    ASSERT_TRUE(std::holds_alternative<double>(subnormal));
    EXPECT_EQ(std::get<double>(subnormal), 1e-320);
}

} // namespace
} // namespace kestrel
