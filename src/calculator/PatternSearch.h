#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <string_view>

namespace kestrel {

/// The outcome of looking for a pattern in a text. `failed` means ICU reported an error (the pattern did
/// not compile, memory ran out, the backtracking stack overflowed): the text was not searched to the end,
/// so it says nothing about whether a match exists.
enum class SearchOutcome { found, notFound, failed };

/// One ICU regular expression, compiled once with no flags and searched for anywhere in a text.
/// Immutable after construction; `findIn` may be called from any number of threads at once, since every
/// call uses a matcher of its own.
class PatternSearch {
public:
    /// Compiles the UTF-8 pattern. A pattern that does not compile makes every search `failed`.
    explicit PatternSearch(std::string_view pattern);

    /// Whether the pattern matches somewhere in the text (an unanchored find from the start).
    SearchOutcome findIn(const icu::UnicodeString& text) const;

    /// The UTF-16 form of UTF-8 text that ICU searches (ill-formed bytes become U+FFFD); nothing when the
    /// text is beyond ICU's 32-bit lengths or memory runs out.
    static std::optional<icu::UnicodeString> icuText(std::string_view utf8);

private:
    std::unique_ptr<icu::RegexPattern> m_pattern;
};

} // namespace kestrel
