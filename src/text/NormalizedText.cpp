#include "text/NormalizedText.h"

#include "text/GraphemeBreaker.h"
#include "text/IcuBuffer.h"
#include "text/UnicodeText.h"

#include <unicode/unorm2.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace kestrel::text {

namespace {

/// The NFD form of UTF-16 text, or the text itself should ICU fail (matching then degrades to exact
/// code-unit comparison instead of failing).
std::u16string decomposed(std::u16string source)
{
    if (source.empty() || source.size() > static_cast<std::size_t>(INT32_MAX / 4))
        return source;
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status))
        return source;
    const auto* src = reinterpret_cast<const UChar*>(source.data());
    const auto length = static_cast<int32_t>(source.size());
    const int32_t normalizedPrefix = unorm2_spanQuickCheckYes(nfd, src, length, &status);
    if (U_FAILURE(status) || normalizedPrefix == length)
        return source;

    // Decomposition seldom more than doubles the length; ICU reports the exact size when it does.
    std::u16string out;
    const bool ok = fillUtf16(out, source.size() * 2 + 8, [&](UChar* dest, int32_t capacity, UErrorCode* st) {
        return unorm2_normalize(nfd, src, length, dest, capacity, st);
    });
    return ok ? out : source;
}

} // namespace

NormalizedText NormalizedText::fromUtf8(std::string_view utf8)
{
    NormalizedText text;
    if (isAscii(utf8)) {
        // ASCII is its own NFD, and every position is a cluster boundary except inside CR LF.
        text.m_nfd.assign(utf8.begin(), utf8.end());
        text.m_boundary.assign(utf8.size() + 1, true);
        for (std::size_t i = 1; i < utf8.size(); ++i) {
            if (utf8[i - 1] == '\r' && utf8[i] == '\n')
                text.m_boundary[i] = false;
        }
        return text;
    }
    text.m_nfd = decomposed(toUtf16(utf8));
    GraphemeBreaker::markBoundaries(text.m_nfd, text.m_boundary);
    return text;
}

bool NormalizedText::isBoundary(std::size_t position) const
{
    return position < m_boundary.size() && m_boundary[position];
}

bool NormalizedText::contains(const NormalizedText& needle) const
{
    const std::size_t needleSize = needle.m_nfd.size();
    const std::size_t size = m_nfd.size();
    if (needleSize == 0)
        return true;
    if (needleSize > size)
        return false;

    const char16_t* haystack = m_nfd.data();
    const char16_t* pattern = needle.m_nfd.data();
    const char16_t first = pattern[0];
    const std::size_t restBytes = (needleSize - 1) * sizeof(char16_t);
    const std::size_t lastStart = size - needleSize;
    std::size_t position = 0;
    while (position <= lastStart) {
        const char16_t* hit = std::char_traits<char16_t>::find(haystack + position, lastStart - position + 1, first);
        if (hit == nullptr)
            return false;
        position = static_cast<std::size_t>(hit - haystack);
        if (m_boundary[position] && std::memcmp(hit + 1, pattern + 1, restBytes) == 0
            && m_boundary[position + needleSize])
            return true;
        ++position;
    }
    return false;
}

bool NormalizedText::startsWith(const NormalizedText& prefix) const
{
    const std::size_t prefixSize = prefix.m_nfd.size();
    if (prefixSize == 0)
        return true;
    if (prefixSize > m_nfd.size())
        return false;
    return std::memcmp(m_nfd.data(), prefix.m_nfd.data(), prefixSize * sizeof(char16_t)) == 0 && isBoundary(prefixSize);
}

bool containsCanonically(std::string_view haystack, std::string_view needle)
{
    return NormalizedText::fromUtf8(haystack).contains(NormalizedText::fromUtf8(needle));
}

bool hasPrefixCanonically(std::string_view text, std::string_view prefix)
{
    return NormalizedText::fromUtf8(text).startsWith(NormalizedText::fromUtf8(prefix));
}

} // namespace kestrel::text
