#include "app/CalculatorRow.h"

#include "calculator/MathCalculator.h"

#include <string>
#include <variant>

namespace kestrel {

const IconRef& calculatorIcon()
{
    static const IconRef icon = std::make_shared<const IconSource>(IconSource{IconSource::Kind::symbol, "calculator"});
    return icon;
}

std::optional<LauncherApp> makeCalculatorRow(std::string_view searchText)
{
    if (!MathCalculator::isMathExpression(searchText)) {
        return std::nullopt;
    }
    std::string expression;
    expression.reserve(searchText.size());
    for (const char c : searchText) {
        if (c != ' ') {
            expression.push_back(c);
        }
    }
    // The two checks can disagree: "3 - -4" is an expression, "3--4" is not.
    if (!MathCalculator::isMathExpression(expression)) {
        return std::nullopt;
    }
    const EvaluationResult result = MathCalculator::evaluate(expression);
    const double* value = std::get_if<double>(&result);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string name(searchText);
    name += " = ";
    name += MathCalculator::formatResult(*value);
    return LauncherApp(Uuid::random(), std::move(name), std::nullopt, calculatorIcon(), std::nullopt,
                       LauncherItemType::calculation, *value);
}

} // namespace kestrel
