#include "calculator/NumberText.h"

#include <array>
#include <cmath>
#include <string_view>

namespace kestrel {

namespace {

// 2^53: the largest magnitude up to which every whole number is a double, and the upper end of the
// plain-decimal range of the clipboard text.
constexpr double plainUpperBound = 9007199254740992.0;
constexpr double plainLowerBound = 1e-4;

// std::to_chars into a buffer that fits every double; `format` is empty or one std::chars_format.
template <typename... Format>
std::string toChars(double value, Format... format)
{
    // Shortest round-trip text in fixed form is at most 1 + 309 integer digits for DBL_MAX, or
    // "0." + 323 zeros + 17 digits for the smallest values; scientific and general forms are far shorter.
    std::array<char, 400> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format...);
    if (error != std::errc()) {
        return {};
    }
    return std::string(buffer.data(), end);
}

} // namespace

std::string shortestRoundTripText(double value)
{
    return toChars(value);
}

std::string shortestRoundTripText(double value, std::chars_format format)
{
    return toChars(value, format);
}

std::string defaultTextForm(double value)
{
    if (!std::isfinite(value)) {
        return shortestRoundTripText(value);
    }
    const double magnitude = std::fabs(value);
    if (magnitude != 0.0 && (magnitude < plainLowerBound || magnitude > plainUpperBound)) {
        // The C exponent form: a sign and at least two exponent digits ("1e+20", "1e-05").
        return toChars(value, std::chars_format::scientific);
    }
    // In fixed form the fewest characters means the fewest fraction digits, so these are the same
    // shortest digits as in exponent form, laid out plainly.
    std::string text = toChars(value, std::chars_format::fixed);
    if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

} // namespace kestrel
