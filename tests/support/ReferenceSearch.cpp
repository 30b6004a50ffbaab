#include "support/ReferenceSearch.h"

#include "app/CalculatorRow.h"
#include "text/NormalizedText.h"
#include "text/UnicodeText.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace kestrel {

std::vector<LauncherApp> referenceSearchResults(const std::vector<LauncherApp>& apps, std::string_view searchText,
                                                const text::LocaleCollator& collator)
{
    if (searchText.empty())
        return apps;
    std::vector<LauncherApp> results;
    if (std::optional<LauncherApp> row = makeCalculatorRow(searchText))
        results.push_back(std::move(*row));
    const std::string query = text::lowerCase(searchText);
    const auto lower = [](const LauncherApp& app) { return text::lowerCase(app.name()); };
    const auto isPrefix = [&](const LauncherApp& app) { return text::hasPrefixCanonically(lower(app), query); };
    std::vector<LauncherApp> matches;
    std::copy_if(apps.begin(), apps.end(), std::back_inserter(matches),
                 [&](const LauncherApp& app) { return text::containsCanonically(lower(app), query); });
    std::stable_sort(matches.begin(), matches.end(), [&](const LauncherApp& a, const LauncherApp& b) {
        if (isPrefix(a) != isPrefix(b))
            return isPrefix(a);
        return collator.compare(lower(a), lower(b)) < 0;
    });
    results.insert(results.end(), matches.begin(), matches.end());
    return results;
}

} // namespace kestrel
