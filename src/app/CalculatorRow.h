#pragma once

#include "catalog/IconRef.h"
#include "catalog/LauncherApp.h"

#include <optional>
#include <string_view>

namespace kestrel {

/// The calculator row for the search text, or nothing when the text is no expression or does not evaluate.
/// The text must pass the recognition both as typed and with its spaces (U+0020 only) removed; the row's
/// name is the text exactly as typed, " = " and the formatted value (user's numeric locale); its result
/// is the unrounded value. Each call makes a row with a new id. Never throws for any input.
std::optional<LauncherApp> makeCalculatorRow(std::string_view searchText);

/// The one icon handle that every calculator row shares: the "calculator" symbol.
const IconRef& calculatorIcon();

} // namespace kestrel
