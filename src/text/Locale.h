#pragma once

#include <string>

namespace kestrel::text {

/// The locale categories the launcher reads, as POSIX defines them.
enum class LocaleCategory { collation, numeric };

/// The user's locale for one category as a canonical ICU locale id ("de_DE", "ca_ES_VALENCIA").
/// Reads LC_ALL, then LC_COLLATE or LC_NUMERIC, then LANG, taking the first one set and non-empty.
/// "C", "POSIX" and nothing set give "" (ICU's root locale). Encodings (".UTF-8") are dropped; a script
/// modifier becomes a script subtag ("sr_RS@latin" gives "sr_Latn_RS"), "@euro" is dropped, any other
/// modifier is kept as a variant. A value that is not a locale name at all (a path, spaces) gives "".
/// Reads the environment on every call; never fails.
std::string userLocale(LocaleCategory category);

/// The same rule applied to explicit values instead of the environment (empty string = unset).
std::string localeFromVariables(const std::string& lcAll, const std::string& lcCategory, const std::string& lang);

} // namespace kestrel::text
