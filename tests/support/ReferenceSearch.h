#pragma once

#include "catalog/LauncherApp.h"
#include "text/LocaleCollator.h"

#include <string_view>
#include <vector>

namespace kestrel {

/// The result list for `searchText`, computed the plain way, with nothing prepared in advance: lower-case
/// every name for the containment test, then stable-sort the matches with a comparison that lower-cases
/// both names and calls the collator each time. Slow (n log n collator calls per query); it is the
/// definition that `SearchIndex` and `AppLauncher::updateSearchResults()` are checked and measured against.
/// The empty text gives `apps` unchanged; an expression adds the calculator row first.
std::vector<LauncherApp> referenceSearchResults(const std::vector<LauncherApp>& apps, std::string_view searchText,
                                                const text::LocaleCollator& collator);

} // namespace kestrel
