#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
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

    bool isCompiled() const { return m_pattern != nullptr; }

    /// Whether the pattern matches somewhere in the text (an unanchored find from the start).
    SearchOutcome findIn(const icu::UnicodeString& text) const;

private:
    std::unique_ptr<icu::RegexPattern> m_pattern;
};

} // namespace kestrel
