#include "calculator/ExpressionEvaluator.h"

#include "text/UnicodeText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

namespace {

enum class Operation : std::uint8_t {
    number,
    add,
    subtract,
    multiply,
    divide,
    remainder,
    power,
    negate,
    openParenthesis,
};

// One entry of the postfix sequence: a literal or an operation on the values before it.
struct Step {
    Operation operation;
    double value;
};

int precedence(Operation operation)
{
    switch (operation) {
    case Operation::add:
    case Operation::subtract:
        return 1;
    case Operation::multiply:
    case Operation::divide:
    case Operation::remainder:
        return 2;
    case Operation::negate:
        return 3;
    case Operation::power:
        return 4;
    case Operation::number:
    case Operation::openParenthesis:
        break;
    }
    return 0;
}

std::optional<Operation> binaryOperation(char32_t c)
{
    switch (c) {
    case U'+':
        return Operation::add;
    case U'-':
        return Operation::subtract;
    case U'*':
        return Operation::multiply;
    case U'/':
        return Operation::divide;
    case U'%':
        return Operation::remainder;
    case U'^':
        return Operation::power;
    default:
        return std::nullopt;
    }
}

// Whether an operator already on the stack is applied before the incoming binary operator is pushed.
bool appliesBefore(Operation stacked, Operation incoming)
{
    const int stackedRank = precedence(stacked);
    const int incomingRank = precedence(incoming);
    if (stackedRank != incomingRank) {
        return stackedRank > incomingRank;
    }
    return incoming != Operation::power;
}

bool isDigit(char32_t c)
{
    return text::decimalDigitValue(c) >= 0;
}

// The value of a literal given as ASCII digits with at most one period. from_chars is locale-free and
// rounds correctly however many digits there are.
double literalValue(const std::string& ascii)
{
    double value = 0.0;
    const char* const first = ascii.data();
    const char* const last = first + ascii.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        // Too large for a double (then infinite) or too small (then zero): only the integer part decides.
        const std::size_t period = ascii.find('.');
        const std::string_view integerPart(first, period == std::string::npos ? ascii.size() : period);
        return integerPart.find_first_not_of('0') == std::string_view::npos ? 0.0 : HUGE_VAL;
    }
    if (error != std::errc() || end != last) {
        return std::nan("");
    }
    return value;
}

// Appends the ASCII form of the run of decimal digits that starts at `i` and moves `i` past it.
void appendDigits(const std::u32string& text, std::size_t& i, std::string& literal)
{
    while (i < text.size() && isDigit(text[i])) {
        literal.push_back(static_cast<char>('0' + text::decimalDigitValue(text[i])));
        ++i;
    }
}

// Reads the literal that starts at `i` (digits, optionally "." and more digits) and moves `i` past it.
double readLiteral(const std::u32string& text, std::size_t& i)
{
    std::string literal;
    appendDigits(text, i, literal);
    if (i + 1 < text.size() && text[i] == U'.' && isDigit(text[i + 1])) {
        literal.push_back('.');
        ++i;
        appendDigits(text, i, literal);
    }
    return literalValue(literal);
}

// Reads text into postfix order with an operator stack (shunting-yard); every step returns false as
// soon as the text cannot be an expression.
class PostfixReader {
public:
    std::optional<std::vector<Step>> read(const std::u32string& text)
    {
        std::size_t i = 0;
        while (i < text.size()) {
            const char32_t c = text[i];
            bool accepted = true;
            if (text::isWhiteSpace(c)) {
                ++i;
            } else if (m_expectOperand) {
                accepted = operand(text, i);
            } else {
                ++i;
                accepted = c == U')' ? closing() : binary(c);
            }
            if (!accepted) {
                return std::nullopt;
            }
        }
        if (m_expectOperand || m_depth != 0) {
            return std::nullopt;
        }
        while (!m_operators.empty()) {
            popOperator();
        }
        return std::move(m_output);
    }

private:
    // Where an operand is expected: unary minus, an opening parenthesis or a literal.
    bool operand(const std::u32string& text, std::size_t& i)
    {
        const char32_t c = text[i];
        if (c == U'-') {
            m_operators.push_back(Operation::negate);
            ++i;
        } else if (c == U'(') {
            if (++m_depth > ExpressionEvaluator::maxNesting) {
                return false;
            }
            m_operators.push_back(Operation::openParenthesis);
            ++i;
        } else if (isDigit(c)) {
            m_output.push_back({Operation::number, readLiteral(text, i)});
            m_expectOperand = false;
        } else {
            return false;
        }
        return true;
    }

    bool closing()
    {
        if (m_depth == 0) {
            return false;
        }
        while (m_operators.back() != Operation::openParenthesis) {
            popOperator();
        }
        m_operators.pop_back();
        --m_depth;
        return true;
    }

    bool binary(char32_t c)
    {
        const std::optional<Operation> operation = binaryOperation(c);
        if (!operation) {
            return false;
        }
        while (!m_operators.empty() && m_operators.back() != Operation::openParenthesis
               && appliesBefore(m_operators.back(), *operation)) {
            popOperator();
        }
        m_operators.push_back(*operation);
        m_expectOperand = true;
        return true;
    }

    void popOperator()
    {
        m_output.push_back({m_operators.back(), 0.0});
        m_operators.pop_back();
    }

    std::vector<Step> m_output;
    std::vector<Operation> m_operators;
    std::size_t m_depth = 0;
    bool m_expectOperand = true;
};

double apply(Operation operation, double left, double right)
{
    switch (operation) {
    case Operation::add:
        return left + right;
    case Operation::subtract:
        return left - right;
    case Operation::multiply:
        return left * right;
    case Operation::divide:
        return left / right;
    case Operation::remainder:
        return std::fmod(left, right);
    case Operation::power:
        return std::pow(left, right);
    case Operation::number:
    case Operation::negate:
    case Operation::openParenthesis:
        break;
    }
    return std::nan("");
}

EvaluationResult compute(const std::vector<Step>& steps)
{
    std::vector<double> values;
    for (const Step& step : steps) {
        switch (step.operation) {
        case Operation::number:
            values.push_back(step.value);
            break;
        case Operation::negate:
            if (values.empty()) {
                return CalculatorError::invalidExpression;
            }
            values.back() = -values.back();
            break;
        default: {
            if (values.size() < 2) {
                return CalculatorError::invalidExpression;
            }
            const double right = values.back();
            values.pop_back();
            values.back() = apply(step.operation, values.back(), right);
            break;
        }
        }
        if (!std::isfinite(values.back())) {
            return CalculatorError::invalidResult;
        }
    }
    // The reader only produces well-formed sequences, which leave exactly one value; the checks here
    // keep a fault there from becoming an out-of-bounds read.
    if (values.size() != 1) {
        return CalculatorError::invalidExpression;
    }
    return values.back();
}

} // namespace

EvaluationResult ExpressionEvaluator::evaluate(std::string_view expression)
{
    const std::optional<std::vector<Step>> steps = PostfixReader().read(text::toUtf32(expression));
    if (!steps) {
        return CalculatorError::invalidExpression;
    }
    return compute(*steps);
}

} // namespace kestrel
