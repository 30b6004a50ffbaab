#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::text {

/// Unicode's full default lower-case mapping (ICU root locale), independent of the user's locale.
/// Input and output are UTF-8; ill-formed input bytes become U+FFFD first.
std::string lowerCase(std::string_view utf8);

/// The text split into user-perceived characters (extended grapheme clusters), each UTF-8.
std::vector<std::string> graphemes(std::string_view utf8);

/// Whether the code point has a Unicode numeric type (decimal digits, other digits, numerals).
bool isNumeric(char32_t codePoint);

/// The decimal value 0-9 of a code point of general category Nd, or -1 for any other code point.
int decimalDigitValue(char32_t codePoint);

/// Whether the code point is Unicode white space (White_Space property).
bool isWhiteSpace(char32_t codePoint);

/// The bytes as valid UTF-8: every ill-formed sequence becomes U+FFFD. Valid input is returned unchanged.
std::string toValidUtf8(std::string_view bytes);

/// Decodes UTF-8 into code points; ill-formed sequences become U+FFFD.
std::u32string toUtf32(std::string_view utf8);

/// Encodes code points as UTF-8 (surrogates and out-of-range values become U+FFFD).
std::string toUtf8(std::u32string_view codePoints);

} // namespace kestrel::text
