#include "calculator/CalculatorError.h"

namespace kestrel {

std::string_view errorDescription(CalculatorError error)
{
    switch (error) {
    case CalculatorError::invalidExpression:
        return "Invalid mathematical expression";
    case CalculatorError::invalidResult:
        return "Invalid result";
    case CalculatorError::divisionByZero:
        return "Division by zero";
    }
    return "Invalid mathematical expression";
}

} // namespace kestrel
