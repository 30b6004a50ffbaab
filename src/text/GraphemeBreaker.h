#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kestrel::text {

/// Extended grapheme-cluster boundaries, found with one ICU character break iterator per thread (opening
/// an iterator costs far more than reusing it). Should ICU fail to provide an iterator, every code-point
/// boundary is reported instead, so callers degrade to matching whole code points.
class GraphemeBreaker {
public:
    /// Sets `boundary[i]` for every boundary offset i of the UTF-16 text (0 and `text.size()` included) and
    /// clears it elsewhere; `boundary` is resized to `text.size() + 1`.
    static void markBoundaries(std::u16string_view text, std::vector<bool>& boundary);

    /// The boundary byte offsets of well-formed UTF-8 text, ascending, 0 and `utf8.size()` included
    /// (just {0} for the empty text).
    static std::vector<std::size_t> boundariesOfUtf8(std::string_view utf8);
};

} // namespace kestrel::text
