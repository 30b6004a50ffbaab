#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::text {

/// A text prepared for matching under Unicode canonical equivalence: its NFD form in UTF-16 and the
/// positions in that form where user-perceived characters (grapheme clusters) begin and end.
/// Building one is the costly part; the matching operations on prepared texts allocate nothing.
class NormalizedText {
public:
    NormalizedText() = default;

    /// Prepares UTF-8 text (ill-formed bytes read as U+FFFD). Safe on any thread.
    static NormalizedText fromUtf8(std::string_view utf8);

    /// True when `needle` occurs in this text under canonical equivalence, with the occurrence starting
    /// and ending on grapheme-cluster boundaries. An empty needle is contained in every text.
    bool contains(const NormalizedText& needle) const;

    /// True when this text begins with `prefix` under canonical equivalence and the prefix ends on a
    /// grapheme-cluster boundary of this text. An empty prefix is a prefix of every text.
    bool startsWith(const NormalizedText& prefix) const;

    const std::u16string& nfd() const { return m_nfd; }

private:
    bool isBoundary(std::size_t position) const;

    std::u16string m_nfd;
    std::vector<bool> m_boundary; // size m_nfd.size() + 1
};

/// Convenience forms of the two tests on UTF-8 strings.
bool containsCanonically(std::string_view haystack, std::string_view needle);
bool hasPrefixCanonically(std::string_view text, std::string_view prefix);

} // namespace kestrel::text
