#pragma once

#include "calculator/MathCalculator.h"

#include <cstddef>
#include <string_view>

namespace kestrel {

/// The arithmetic evaluator behind `MathCalculator::evaluate`. It reads decimal literals (digits of any
/// script by value, optionally "." and more digits), parentheses, and the binary operators + - * / % ^
/// with unary minus wherever an operand is expected; Unicode white space between tokens is skipped.
/// Precedence, loosest first: + and -; * / and % (the C fmod remainder); unary minus; ^ (power,
/// right-associative), so -2^2 is -4 and 2^3^2 is 512. All arithmetic is IEEE double precision.
///
/// The text is first read completely into postfix order with explicit stacks, then computed: nothing
/// recurses, so no input can exhaust the call stack, and text that cannot be read fails as such even when
/// its numbers would also overflow.
class ExpressionEvaluator {
public:
    ExpressionEvaluator() = delete;

    /// Parentheses open at once beyond this depth make the text unreadable.
    static constexpr std::size_t maxNesting = 256;

    /// The value of the text (UTF-8; ill-formed bytes are read as U+FFFD, which nothing accepts).
    /// `invalidExpression` for text that is not such an expression, empty text and nesting beyond
    /// `maxNesting`; `invalidResult` as soon as a literal or any intermediate value is infinite or NaN
    /// (1/0, 0/0, 5%0, 2^1024, and also 1/(1/0), which would otherwise hide the division by zero).
    /// Never throws (apart from std::bad_alloc when memory runs out).
    static EvaluationResult evaluate(std::string_view expression);
};

} // namespace kestrel
