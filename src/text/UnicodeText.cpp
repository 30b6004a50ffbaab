#include "text/UnicodeText.h"

#include "text/GraphemeBreaker.h"
#include "text/IcuBuffer.h"
#include "text/Utf8.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace kestrel::text {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

void appendUtf8(std::string& out, char32_t c)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = replacementCharacter;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isWellFormedUtf8(std::string_view utf8)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int64_t>(utf8.size());
    std::int64_t i = 0;
    while (i < length) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

} // namespace

bool isAscii(std::string_view bytes)
{
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0)
            return false;
    }
    for (; i < bytes.size(); ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0x80) != 0)
            return false;
    }
    return true;
}

std::string toValidUtf8(std::string_view bytes)
{
    if (isWellFormedUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    forEachCodePoint(bytes, [&](char32_t c, std::size_t) { appendUtf8(out, c); });
    return out;
}

std::u32string toUtf32(std::string_view utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t c, std::size_t) { out.push_back(c); });
    return out;
}

std::string toUtf8(std::u32string_view codePoints)
{
    std::string out;
    out.reserve(codePoints.size());
    for (const char32_t c : codePoints)
        appendUtf8(out, c);
    return out;
}

std::u16string toUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t c, std::size_t) {
        if (c <= 0xFFFF) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            out.push_back(static_cast<char16_t>(U16_LEAD(c)));
            out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
        }
    });
    return out;
}

std::string fromUtf16(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    std::size_t i = 0;
    while (i < utf16.size()) {
        char32_t c = utf16[i++];
        if (U16_IS_LEAD(c) && i < utf16.size() && U16_IS_TRAIL(utf16[i]))
            c = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(c, utf16[i++]));
        appendUtf8(out, c); // a lone surrogate becomes U+FFFD there
    }
    return out;
}

std::string lowerCase(std::string_view utf8)
{
    if (isAscii(utf8)) {
        // For ASCII the full default mapping is exactly A-Z -> a-z.
        std::string out(utf8);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    const std::u16string source = toUtf16(utf8);
    if (source.size() > static_cast<std::size_t>(INT32_MAX))
        return toValidUtf8(utf8);
    std::u16string lowered;
    const bool ok = fillUtf16(lowered, source.size() + 16, [&](UChar* dest, int32_t capacity, UErrorCode* status) {
        return u_strToLower(dest, capacity, reinterpret_cast<const UChar*>(source.data()),
                            static_cast<int32_t>(source.size()), "", status);
    });
    return ok ? fromUtf16(lowered) : fromUtf16(source);
}

std::string toNfc(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    const std::u16string source = toUtf16(utf8);
    if (source.size() > static_cast<std::size_t>(INT32_MAX))
        return fromUtf16(source);
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status))
        return fromUtf16(source);
    const auto* src = reinterpret_cast<const UChar*>(source.data());
    const auto length = static_cast<int32_t>(source.size());
    const UBool normalized = unorm2_isNormalized(nfc, src, length, &status);
    if (U_FAILURE(status))
        return fromUtf16(source);
    if (normalized)
        return fromUtf16(source);
    std::u16string composed;
    const bool ok = fillUtf16(composed, source.size() + 16, [&](UChar* dest, int32_t capacity, UErrorCode* st) {
        return unorm2_normalize(nfc, src, length, dest, capacity, st);
    });
    return ok ? fromUtf16(composed) : fromUtf16(source);
}

std::vector<std::string> graphemes(std::string_view utf8)
{
    const std::string valid = toValidUtf8(utf8);
    const std::vector<std::size_t> boundaries = GraphemeBreaker::boundariesOfUtf8(valid);
    std::vector<std::string> result;
    result.reserve(boundaries.size() - 1);
    for (std::size_t i = 1; i < boundaries.size(); ++i)
        result.emplace_back(valid, boundaries[i - 1], boundaries[i] - boundaries[i - 1]);
    return result;
}

bool isNumeric(char32_t codePoint)
{
    if (codePoint > 0x10FFFF)
        return false;
    return u_getIntPropertyValue(static_cast<UChar32>(codePoint), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

int decimalDigitValue(char32_t codePoint)
{
    if (codePoint > 0x10FFFF)
        return -1;
    const auto c = static_cast<UChar32>(codePoint);
    if (u_charType(c) != U_DECIMAL_DIGIT_NUMBER)
        return -1;
    return u_charDigitValue(c);
}

bool isWhiteSpace(char32_t codePoint)
{
    return codePoint <= 0x10FFFF && u_isUWhiteSpace(static_cast<UChar32>(codePoint));
}

} // namespace kestrel::text
