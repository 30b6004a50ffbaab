#pragma once

#include "calculator/CalculatorError.h"

#include <string>
#include <string_view>
#include <variant>

namespace kestrel {

/// A double, or the reason there is none.
using EvaluationResult = std::variant<double, CalculatorError>;

/// Recognition, evaluation and formatting of the simple arithmetic typed into the search field.
/// Stateless: all operations are static, pure (apart from reading the locale) and never throw.
/// Text is UTF-8; ill-formed bytes are read as U+FFFD.
class MathCalculator {
public:
    MathCalculator() = delete;

    /// Whether the text, trimmed of white space, is to be treated as an arithmetic expression: it holds an
    /// operator and a digit, only the calculator's characters, and passes every shape check of the
    /// recogniser (each independent of the others). Should an ICU search fail, the answer is false.
    static bool isMathExpression(std::string_view text);
    /// Whether every ")" closes an earlier "(" and all are closed.
    static bool hasBalancedParentheses(std::string_view text);
    /// Appends ".0" to every integer literal ("7/2" -> "7.0/2.0"; "1.5" stays).
    static std::string preprocessExpression(std::string_view expression);
    /// The second check, on the output of `preprocessExpression`. Should an ICU search fail, the answer
    /// is false.
    static bool isValidProcessedExpression(std::string_view text);

    /// The value of the expression: preprocess, validate, evaluate. Infinite or NaN values give
    /// `invalidResult`; text the evaluator cannot read gives `invalidExpression`.
    static EvaluationResult evaluate(std::string_view expression);

    /// The text shown after " = ": whole values in the signed 64-bit range as plain integers; everything
    /// else through ICU's decimal formatter with 0 to 10 fraction digits in the user's numeric locale.
    static std::string formatResult(double value);
    /// The same with an explicit ICU locale id ("" = root).
    static std::string formatResult(double value, const std::string& localeId);
};

} // namespace kestrel
