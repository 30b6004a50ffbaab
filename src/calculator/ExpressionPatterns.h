#pragma once

#include <string_view>

namespace kestrel {

/// The ICU regular expressions (UTF-8 pattern text) that recognise and validate calculator input. Every one
/// is searched for anywhere in the text, with no flags; only the first is anchored. "\d" is any Unicode
/// decimal digit (Nd) and "\s" ICU's white space class.
struct ExpressionPatterns {
    /// The whole text consists of digits, white space, operators, parentheses and periods.
    static constexpr std::string_view allowedCharactersOnly = R"(^[\d\s\+\-\*\/\%\^\(\)\.]+$)";
    /// Two or more operator characters in a row, as "[\+\-\*\/\%\^]{2,}" defines it: every such run
    /// begins with two. The open-ended count would keep one ICU backtracking entry per character of a long
    /// run and fail on a megabyte of operators; the fixed count matches the same texts and never loops.
    static constexpr std::string_view doubledOperator = R"([\+\-\*\/\%\^]{2})";
    /// An operator directly before or directly after a period.
    static constexpr std::string_view operatorBesidePeriod = R"([\+\-\*\/\%\^]\.|\.[\+\-\*\/\%\^])";
    /// An opening parenthesis followed by an operator other than "-".
    static constexpr std::string_view operatorAfterOpening = R"(\([\+\*\/\%\^])";
    /// An operator directly before a closing parenthesis.
    static constexpr std::string_view operatorBeforeClosing = R"([\+\-\*\/\%\^]\))";
    /// A digit touching a parenthesis from outside: implied multiplication.
    static constexpr std::string_view impliedMultiplication = R"(\d\(|\)\d)";
    /// A number with two periods, as "\d+\.\d+\.\d+" defines it. That form backtracks through every
    /// digit run from every start position, quadratic in ICU on long runs. A match of it contains the last
    /// digit of its first run, both periods with the whole run between them, and the first digit of its
    /// last run, so this form matches exactly the same texts; each attempt scans only the run after one
    /// period, so the search is linear. The loop is over the bracketed set "[\d]" (the same characters)
    /// because ICU keeps one backtracking entry for such a loop but one per character for a bare "\d",
    /// which overflows its 8 MB backtracking stack near a million digits.
    static constexpr std::string_view twoPeriodNumber = R"(\d\.[\d]+\.\d)";
};

} // namespace kestrel
