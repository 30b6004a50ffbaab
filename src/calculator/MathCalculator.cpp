#include "calculator/MathCalculator.h"

#include "calculator/ExpressionEvaluator.h"
#include "calculator/ExpressionPatterns.h"
#include "calculator/NumberText.h"
#include "calculator/PatternSearch.h"
#include "text/Locale.h"
#include "text/UnicodeText.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrel {

namespace {

constexpr std::string_view operators = "+-*/%^";
constexpr std::string_view leadingOperators = "+*/%^";

// -2^63 and 2^63: the integer path takes whole values from the first up to, not including, the second.
constexpr double int64Lowest = -9223372036854775808.0;
constexpr double int64End = 9223372036854775808.0;

// The patterns of ExpressionPatterns, in the order of `patternTable`.
enum class Check : std::size_t {
    allowedCharactersOnly,
    doubledOperator,
    operatorBesidePeriod,
    operatorAfterOpening,
    operatorBeforeClosing,
    impliedMultiplication,
    twoPeriodNumber,
};

// Every pattern is compiled on the first check and then only read.
const PatternSearch& pattern(Check check)
{
    static const std::array<PatternSearch, 7> patternTable{
        PatternSearch(ExpressionPatterns::allowedCharactersOnly),
        PatternSearch(ExpressionPatterns::doubledOperator),
        PatternSearch(ExpressionPatterns::operatorBesidePeriod),
        PatternSearch(ExpressionPatterns::operatorAfterOpening),
        PatternSearch(ExpressionPatterns::operatorBeforeClosing),
        PatternSearch(ExpressionPatterns::impliedMultiplication),
        PatternSearch(ExpressionPatterns::twoPeriodNumber),
    };
    return patternTable[static_cast<std::size_t>(check)];
}

// A search that fails says nothing about the text, so it always counts against it: the text is then
// not taken for an expression. Only a completed search can clear a text of a pattern or confirm one.
bool isClearOf(Check check, const icu::UnicodeString& text)
{
    return pattern(check).findIn(text) == SearchOutcome::notFound;
}

bool certainlyMatches(Check check, const icu::UnicodeString& text)
{
    return pattern(check).findIn(text) == SearchOutcome::found;
}

bool isSingleCharacterOf(const std::string& character, std::string_view set)
{
    return character.size() == 1 && set.find(character.front()) != std::string_view::npos;
}

bool balanced(const std::vector<std::string>& characters)
{
    std::int64_t depth = 0;
    for (const std::string& character : characters) {
        if (character == "(") {
            ++depth;
        } else if (character == ")") {
            --depth;
            if (depth < 0) {
                return false;
            }
        }
    }
    return depth == 0;
}

// The first code point of one well-formed character.
char32_t firstCodePoint(const std::string& character)
{
    if (character.empty()) {
        return U'\uFFFD';
    }
    if (static_cast<unsigned char>(character.front()) < 0x80) {
        return static_cast<char32_t>(character.front());
    }
    const std::u32string decoded = text::toUtf32(std::string_view(character).substr(0, 4));
    return decoded.empty() ? U'\uFFFD' : decoded.front();
}

} // namespace

bool MathCalculator::isMathExpression(std::string_view text)
{
    // The tests are independent and pure, so they run cheapest first; the answer is their conjunction.
    const std::u32string codePoints = text::toUtf32(text);
    std::size_t begin = 0;
    std::size_t end = codePoints.size();
    while (begin < end && text::isWhiteSpace(codePoints[begin])) {
        ++begin;
    }
    while (end > begin && text::isWhiteSpace(codePoints[end - 1])) {
        --end;
    }
    const std::u32string_view trimmed = std::u32string_view(codePoints).substr(begin, end - begin);
    const std::string t = text::toUtf8(trimmed);

    if (t.find_first_of(operators) == std::string::npos) {
        return false;
    }
    bool hasDigit = false;
    for (const char32_t c : trimmed) {
        if (text::decimalDigitValue(c) >= 0) {
            hasDigit = true;
            break;
        }
    }
    if (!hasDigit || t.find("..") != std::string::npos) {
        return false;
    }
    const std::optional<icu::UnicodeString> icuText = PatternSearch::icuText(t);
    if (!icuText || !certainlyMatches(Check::allowedCharactersOnly, *icuText)) {
        return false;
    }

    const std::vector<std::string> characters = text::graphemes(t);
    if (characters.empty()) {
        return false;
    }
    const std::string& first = characters.front();
    const std::string& last = characters.back();
    if (isSingleCharacterOf(last, operators) || isSingleCharacterOf(first, leadingOperators) || first == "."
        || last == "." || !balanced(characters)) {
        return false;
    }

    return isClearOf(Check::doubledOperator, *icuText) && isClearOf(Check::operatorBesidePeriod, *icuText)
           && isClearOf(Check::operatorAfterOpening, *icuText) && isClearOf(Check::operatorBeforeClosing, *icuText)
           && isClearOf(Check::impliedMultiplication, *icuText);
}

bool MathCalculator::hasBalancedParentheses(std::string_view text)
{
    return balanced(text::graphemes(text));
}

std::string MathCalculator::preprocessExpression(std::string_view expression)
{
    const std::vector<std::string> characters = text::graphemes(expression);
    const std::size_t n = characters.size();
    std::vector<bool> numeric(n);
    for (std::size_t k = 0; k < n; ++k) {
        numeric[k] = text::isNumeric(firstCodePoint(characters[k]));
    }

    std::string output;
    output.reserve(expression.size() + expression.size() / 2 + 2);
    std::size_t i = 0;
    while (i < n) {
        if (!numeric[i]) {
            output += characters[i];
            ++i;
            continue;
        }
        while (i < n && numeric[i]) {
            output += characters[i];
            ++i;
        }
        if (i + 1 < n && characters[i] == "." && numeric[i + 1]) {
            output += '.';
            ++i;
            while (i < n && numeric[i]) {
                output += characters[i];
                ++i;
            }
        } else {
            output += ".0";
        }
    }
    return output;
}

bool MathCalculator::isValidProcessedExpression(std::string_view text)
{
    if (text.find("..") != std::string_view::npos) {
        return false;
    }
    const std::optional<icu::UnicodeString> icuText = PatternSearch::icuText(text);
    return icuText && isClearOf(Check::twoPeriodNumber, *icuText)
           && certainlyMatches(Check::allowedCharactersOnly, *icuText);
}

EvaluationResult MathCalculator::evaluate(std::string_view expression)
{
    const std::string rewritten = preprocessExpression(expression);
    if (!isValidProcessedExpression(rewritten)) {
        return CalculatorError::invalidExpression;
    }
    return ExpressionEvaluator::evaluate(rewritten);
}

std::string MathCalculator::formatResult(double value)
{
    return formatResult(value, text::userLocale(text::LocaleCategory::numeric));
}

std::string MathCalculator::formatResult(double value, const std::string& localeId)
{
    if (std::fmod(value, 1.0) == 0.0 && value >= int64Lowest && value < int64End) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    if (!std::isfinite(value)) {
        return shortestRoundTripText(value);
    }
    // The formatter is given decimal text rather than the double: fixed-form shortest text is exact for
    // whole numbers (2^63 keeps its last digits ...808, which the double path would round to ...776,000)
    // and the same shortest digits as the double path for everything else.
    const std::string decimal = shortestRoundTripText(value, std::chars_format::fixed);
    if (decimal.empty()) {
        return shortestRoundTripText(value);
    }
    const icu::Locale locale(localeId.c_str());
    if (locale.isBogus()) {
        return shortestRoundTripText(value);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::number::FormattedNumber formatted =
        icu::number::NumberFormatter::withLocale(locale)
            .precision(icu::number::Precision::minMaxFraction(0, 10))
            .formatDecimal(icu::StringPiece(decimal.data(), static_cast<int32_t>(decimal.size())), status);
    if (U_FAILURE(status)) {
        return shortestRoundTripText(value);
    }
    const icu::UnicodeString shown = formatted.toString(status);
    if (U_FAILURE(status) || shown.isBogus() || shown.isEmpty()) {
        return shortestRoundTripText(value);
    }
    std::string utf8;
    shown.toUTF8String(utf8);
    return utf8;
}

} // namespace kestrel
