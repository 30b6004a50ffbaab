#pragma once

#include <unicode/utypes.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel::text {

/// Runs an ICU "preflighting" string function into `out`: `call(dest, capacity, status)` writes UTF-16
/// and returns the length it needs, reporting U_BUFFER_OVERFLOW_ERROR when `capacity` is short; it is
/// then run once more with exactly that capacity. True with `out` sized to the result; false on any ICU
/// failure (the content of `out` is then unspecified).
template <typename Call>
bool fillUtf16(std::u16string& out, std::size_t initialCapacity, Call call)
{
    if (initialCapacity > static_cast<std::size_t>(INT32_MAX))
        return false;
    out.resize(initialCapacity);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t needed = call(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && needed > 0) {
            out.resize(static_cast<std::size_t>(needed));
            continue;
        }
        if (U_FAILURE(status) || needed < 0)
            return false;
        out.resize(static_cast<std::size_t>(needed));
        return true;
    }
    return false;
}

} // namespace kestrel::text
