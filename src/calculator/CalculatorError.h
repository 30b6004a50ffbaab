#pragma once

#include <string_view>

namespace kestrel {

/// Why `MathCalculator::evaluate` produced no value.
enum class CalculatorError { invalidExpression, invalidResult, divisionByZero };

/// The fixed description of each case: "Invalid mathematical expression", "Invalid result",
/// "Division by zero".
std::string_view errorDescription(CalculatorError error);

} // namespace kestrel
