#include "calculator/PatternSearch.h"

#include <unicode/parseerr.h>
#include <unicode/utypes.h>

#include <climits>

namespace kestrel {

PatternSearch::PatternSearch(std::string_view pattern)
{
    const std::optional<icu::UnicodeString> source = icuText(pattern);
    if (!source) {
        return;
    }
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(*source, 0, parseError, status));
    if (U_SUCCESS(status) && compiled != nullptr) {
        m_pattern = std::move(compiled);
    }
}

SearchOutcome PatternSearch::findIn(const icu::UnicodeString& text) const
{
    if (m_pattern == nullptr || text.isBogus()) {
        return SearchOutcome::failed;
    }
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexMatcher> matcher(m_pattern->matcher(text, status));
    if (U_FAILURE(status) || matcher == nullptr) {
        return SearchOutcome::failed;
    }
    const bool found = matcher->find(0, status);
    if (U_FAILURE(status)) {
        return SearchOutcome::failed;
    }
    return found ? SearchOutcome::found : SearchOutcome::notFound;
}

std::optional<icu::UnicodeString> PatternSearch::icuText(std::string_view utf8)
{
    if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) {
        return std::nullopt;
    }
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    if (text.isBogus()) {
        return std::nullopt;
    }
    return text;
}

} // namespace kestrel
