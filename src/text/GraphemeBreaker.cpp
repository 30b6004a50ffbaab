#include "text/GraphemeBreaker.h"

#include "text/Utf8.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>

#include <climits>
#include <cstdint>
#include <memory>

namespace kestrel::text {

namespace {

struct BreakIteratorCloser {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

/// The calling thread's character break iterator, or null when ICU cannot open one.
UBreakIterator* threadIterator()
{
    thread_local const std::unique_ptr<UBreakIterator, BreakIteratorCloser> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        if (U_FAILURE(status)) {
            ubrk_close(opened);
            opened = nullptr;
        }
        return std::unique_ptr<UBreakIterator, BreakIteratorCloser>(opened);
    }();
    return iterator.get();
}

void markCodePointBoundaries(std::u16string_view text, std::vector<bool>& boundary)
{
    for (std::size_t i = 1; i < text.size(); ++i)
        boundary[i] = !(U16_IS_TRAIL(text[i]) && U16_IS_LEAD(text[i - 1]));
}

} // namespace

void GraphemeBreaker::markBoundaries(std::u16string_view text, std::vector<bool>& boundary)
{
    boundary.assign(text.size() + 1, false);
    boundary[0] = true;
    boundary[text.size()] = true;
    if (text.size() < 2)
        return;

    UBreakIterator* iterator = threadIterator();
    if (iterator == nullptr || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        markCodePointBoundaries(text, boundary);
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        markCodePointBoundaries(text, boundary);
        return;
    }
    for (int32_t position = ubrk_first(iterator); position != UBRK_DONE; position = ubrk_next(iterator))
        boundary[static_cast<std::size_t>(position)] = true;
    // why: the iterator keeps a pointer to the text; point it at nothing so it never outlives the caller's text.
    status = U_ZERO_ERROR;
    ubrk_setText(iterator, nullptr, 0, &status);
}

std::vector<std::size_t> GraphemeBreaker::boundariesOfUtf8(std::string_view utf8)
{
    std::vector<std::size_t> result{0};
    if (utf8.empty())
        return result;

    UBreakIterator* iterator = threadIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = nullptr;
    if (iterator != nullptr && utf8.size() <= static_cast<std::size_t>(INT32_MAX))
        utext = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (utext != nullptr && U_SUCCESS(status))
        ubrk_setUText(iterator, utext, &status);

    if (utext == nullptr || U_FAILURE(status)) {
        utext_close(utext);
        forEachCodePoint(utf8, [&](char32_t, std::size_t end) { result.push_back(end); });
        return result;
    }

    ubrk_first(iterator);
    for (int32_t position = ubrk_next(iterator); position != UBRK_DONE; position = ubrk_next(iterator))
        result.push_back(static_cast<std::size_t>(position));
    status = U_ZERO_ERROR;
    ubrk_setText(iterator, nullptr, 0, &status);
    utext_close(utext);
    return result;
}

} // namespace kestrel::text
