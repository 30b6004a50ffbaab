#pragma once

#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrel::text {

/// Calls `visit(codePoint, end)` for each code point of the bytes, in order, where `end` is the byte
/// offset just past it. ICU's decoder replaces each maximal subpart of an ill-formed sequence with U+FFFD
/// (one call per subpart), the W3C/Unicode practice.
template <typename Visit>
void forEachCodePoint(std::string_view utf8, Visit visit)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int64_t>(utf8.size());
    std::int64_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT_OR_FFFD(bytes, i, length, c);
        visit(static_cast<char32_t>(c), static_cast<std::size_t>(i));
    }
}

} // namespace kestrel::text
