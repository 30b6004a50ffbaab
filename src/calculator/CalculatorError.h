#pragma once

namespace kestrel {

/// Why `MathCalculator::evaluate` produced no value.
enum class CalculatorError { invalidExpression, invalidResult, divisionByZero };

} // namespace kestrel
