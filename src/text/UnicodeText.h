#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::text {

/// Unicode's full default lower-case mapping (ICU root locale), independent of the user's locale.
/// Input and output are UTF-8; ill-formed input bytes become U+FFFD first. Should ICU fail, the
/// (repaired) input is returned unchanged.
std::string lowerCase(std::string_view utf8);

/// The text split into user-perceived characters (extended grapheme clusters), each UTF-8.
/// Ill-formed bytes become U+FFFD first. The empty text gives no characters.
std::vector<std::string> graphemes(std::string_view utf8);

/// Whether the code point has a Unicode numeric type (decimal digits, other digits, numerals).
bool isNumeric(char32_t codePoint);

/// The decimal value 0-9 of a code point of general category Nd, or -1 for any other code point.
int decimalDigitValue(char32_t codePoint);

/// Whether the code point is Unicode white space (White_Space property).
bool isWhiteSpace(char32_t codePoint);

/// The bytes as valid UTF-8: every ill-formed sequence becomes U+FFFD, one per maximal subpart (the
/// W3C/Unicode practice). Valid input is returned unchanged.
std::string toValidUtf8(std::string_view bytes);

/// Decodes UTF-8 into code points; ill-formed sequences become U+FFFD as in `toValidUtf8`.
std::u32string toUtf32(std::string_view utf8);

/// Encodes code points as UTF-8 (surrogates and out-of-range values become U+FFFD).
std::string toUtf8(std::u32string_view codePoints);

/// Decodes UTF-8 into UTF-16; ill-formed sequences become U+FFFD as in `toValidUtf8`.
std::u16string toUtf16(std::string_view utf8);

/// Encodes UTF-16 as UTF-8; unpaired surrogates become U+FFFD.
std::string fromUtf16(std::u16string_view utf16);

/// The canonical composition (NFC) of the text, UTF-8; ill-formed bytes become U+FFFD first. Two texts
/// are canonically equivalent exactly when their NFC forms are equal byte for byte. Should ICU fail, the
/// repaired input is returned unchanged.
std::string toNfc(std::string_view utf8);

/// Whether every byte is below 0x80.
bool isAscii(std::string_view bytes);

} // namespace kestrel::text
