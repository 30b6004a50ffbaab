// Feeds any bytes through the calculator: recognition, rewriting, validation, evaluation and formatting,
// and the evaluator on the raw bytes. Beyond crashes and sanitizer reports it checks properties that must
// hold for every input, and aborts when one does not.
#include "calculator/ExpressionEvaluator.h"
#include "calculator/ExpressionPatterns.h"
#include "calculator/MathCalculator.h"
#include "calculator/NumberText.h"
#include "calculator/PatternSearch.h"
#include "text/UnicodeText.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

namespace {

using kestrel::CalculatorError;
using kestrel::EvaluationResult;
using kestrel::MathCalculator;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "calculator_fuzz: property violated: %s\n", what);
        std::abort();
    }
}

bool readsBackExactly(const std::string& text, double value)
{
    double back = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), back);
    return error == std::errc() && end == text.data() + text.size() && std::memcmp(&back, &value, sizeof value) == 0;
}

void checkValue(const EvaluationResult& result)
{
    const double* value = std::get_if<double>(&result);
    if (value == nullptr) {
        require(std::get<CalculatorError>(result) != CalculatorError::divisionByZero, "divisionByZero is never raised");
        return;
    }
    require(std::isfinite(*value), "evaluate returns only finite values");
    require(readsBackExactly(kestrel::defaultTextForm(*value), *value), "clipboard text reads back exactly");
    for (const char* locale : {"en_US", "de_DE", "", "ar_EG"}) {
        require(!MathCalculator::formatResult(*value, locale).empty(), "formatted result is not empty");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const bool recognised = MathCalculator::isMathExpression(text);
    if (recognised) {
        require(MathCalculator::hasBalancedParentheses(text), "recognised text has balanced parentheses");
    }
    const std::string rewritten = MathCalculator::preprocessExpression(text);
    require(kestrel::text::toValidUtf8(rewritten) == rewritten, "rewritten text is well-formed UTF-8");
    const bool valid = MathCalculator::isValidProcessedExpression(rewritten);

    const EvaluationResult result = MathCalculator::evaluate(text);
    checkValue(result);
    if (!valid) {
        require(std::holds_alternative<CalculatorError>(result)
                    && std::get<CalculatorError>(result) == CalculatorError::invalidExpression,
                "text failing the second validation is an invalid expression");
    }
    checkValue(kestrel::ExpressionEvaluator::evaluate(text));

    // The linear forms of two patterns against their defining forms, on texts short enough for the latter.
    if (size <= 256) {
        static const kestrel::PatternSearch twoPeriodsDefining(R"(\d+\.\d+\.\d+)");
        static const kestrel::PatternSearch twoPeriodsUsed(kestrel::ExpressionPatterns::twoPeriodNumber);
        static const kestrel::PatternSearch doubledDefining(R"([\+\-\*\/\%\^]{2,})");
        static const kestrel::PatternSearch doubledUsed(kestrel::ExpressionPatterns::doubledOperator);
        const icu::UnicodeString icuText =
            icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(size)));
        require(twoPeriodsDefining.findIn(icuText) == twoPeriodsUsed.findIn(icuText), "two-periods patterns agree");
        require(doubledDefining.findIn(icuText) == doubledUsed.findIn(icuText), "doubled-operator patterns agree");
    }

    // The first eight bytes as a double: formatting and the number texts of any value.
    if (size >= sizeof(double)) {
        double value = 0.0;
        std::memcpy(&value, data, sizeof value);
        const std::string shown = MathCalculator::formatResult(value, "en_US");
        require(!shown.empty(), "formatted value is not empty");
        if (std::fmod(value, 1.0) == 0.0 && value >= -9223372036854775808.0 && value < 9223372036854775808.0) {
            require(shown == std::to_string(static_cast<std::int64_t>(value)), "whole values print as integers");
        }
        if (std::isfinite(value)) {
            require(readsBackExactly(kestrel::defaultTextForm(value), value), "clipboard text of any value");
            require(readsBackExactly(kestrel::shortestRoundTripText(value), value), "shortest text of any value");
        }
    }
    return 0;
}
