#include "text/Locale.h"

#include "text/Environment.h"

#include <unicode/uloc.h>

#include <array>
#include <string_view>

namespace kestrel::text {

namespace {

bool isIdentifierCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool isIdentifier(std::string_view part)
{
    for (const char c : part) {
        if (!isIdentifierCharacter(c))
            return false;
    }
    return true;
}

/// POSIX modifiers that name a script; ICU wants these as a script subtag after the language
/// ("sr_RS@latin" is Serbian in Latin script, "sr_Latn_RS").
std::string_view scriptOfModifier(std::string_view modifier)
{
    struct Entry {
        std::string_view modifier;
        std::string_view script;
    };
    static constexpr std::array<Entry, 4> table{{
        {"latin", "Latn"},
        {"cyrillic", "Cyrl"},
        {"devanagari", "Deva"},
        {"iqtelif", "Latn"},
    }};
    for (const Entry& entry : table) {
        if (entry.modifier == modifier)
            return entry.script;
    }
    return {};
}

/// A POSIX locale name ("language[_territory][.codeset][@modifier]") as an ICU locale id.
std::string icuLocaleOf(std::string_view posix)
{
    const std::size_t at = posix.find('@');
    std::string_view modifier = at == std::string_view::npos ? std::string_view() : posix.substr(at + 1);
    std::string_view base = posix.substr(0, at);
    base = base.substr(0, base.find('.')); // the codeset says nothing about language rules

    if (base.empty() || base == "C" || base == "POSIX")
        return {};
    // Anything that is not a plain locale name (paths, spaces, control bytes) means no known locale;
    // a modifier that is not a plain word is ignored.
    if (!isIdentifier(base))
        return {};
    if (!isIdentifier(modifier))
        modifier = {};

    std::string id;
    const std::string_view script = scriptOfModifier(modifier);
    if (!script.empty()) {
        const std::size_t separator = base.find_first_of("_-");
        id.append(base.substr(0, separator)).append("_").append(script);
        if (separator != std::string_view::npos)
            id.append("_").append(base.substr(separator + 1));
    } else {
        id.assign(base);
        // "@euro" only chose a currency before the euro was every such locale's default.
        if (!modifier.empty() && modifier != "euro")
            id.append("@").append(modifier);
    }

    std::array<char, ULOC_FULLNAME_CAPACITY> canonical{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_canonicalize(id.c_str(), canonical.data(), static_cast<int32_t>(canonical.size()), &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0
        || length >= static_cast<int32_t>(canonical.size()))
        return {};
    return std::string(canonical.data(), static_cast<std::size_t>(length));
}

} // namespace

std::string localeFromVariables(const std::string& lcAll, const std::string& lcCategory, const std::string& lang)
{
    if (!lcAll.empty())
        return icuLocaleOf(lcAll);
    if (!lcCategory.empty())
        return icuLocaleOf(lcCategory);
    return icuLocaleOf(lang);
}

std::string userLocale(LocaleCategory category)
{
    const char* categoryVariable = category == LocaleCategory::collation ? "LC_COLLATE" : "LC_NUMERIC";
    return localeFromVariables(environmentVariable("LC_ALL").value_or(""),
                               environmentVariable(categoryVariable).value_or(""),
                               environmentVariable("LANG").value_or(""));
}

} // namespace kestrel::text
