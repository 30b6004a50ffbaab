#pragma once

#include <charconv>
#include <string>

namespace kestrel {

/// The shortest decimal text that reads back as exactly `value` ("0.1", "1e+20", "-3"). Locale-free.
std::string shortestRoundTripText(double value);

/// The shortest text in the given form that reads back as exactly `value` (fixed: "100", "0.0001";
/// scientific: "1e+02"). Locale-free; fits any double.
std::string shortestRoundTripText(double value, std::chars_format format);

/// The plain-text form of a number that the calculator row puts on the clipboard: shortest round-trip
/// digits; zero and magnitudes from 1e-4 up to and including 2^53 as a plain decimal with ".0" appended
/// to whole values ("5.0", "-3.0", "0.30000000000000004"); other magnitudes in exponent form with a sign
/// and at least two exponent digits ("1e+20", "1e-05"). No grouping, no locale. `value` must be finite.
std::string defaultTextForm(double value);

} // namespace kestrel
