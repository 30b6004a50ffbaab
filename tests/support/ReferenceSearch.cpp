#include "support/ReferenceSearch.h"

#include "app/CalculatorRow.h"
#include "text/NormalizedText.h"
#include "text/UnicodeText.h"

#include <algorithm>
#include <string>

namespace kestrel {

std::vector<LauncherApp> referenceSearchResults(const std::vector<LauncherApp>& apps, std::string_view searchText,
                                                const text::LocaleCollator& collator)
{
    if (searchText.empty()) {
        return apps;
    }
    std::vector<LauncherApp> results;
    if (std::optional<LauncherApp> row = makeCalculatorRow(searchText)) {
        results.push_back(std::move(*row));
    }

    const std::string query = text::lowerCase(searchText);
    std::vector<LauncherApp> matches;
    for (const LauncherApp& app : apps) {
        if (text::containsCanonically(text::lowerCase(app.name()), query)) {
            matches.push_back(app);
        }
    }
    std::stable_sort(matches.begin(), matches.end(), [&](const LauncherApp& a, const LauncherApp& b) {
        const bool aIsPrefix = text::hasPrefixCanonically(text::lowerCase(a.name()), query);
        const bool bIsPrefix = text::hasPrefixCanonically(text::lowerCase(b.name()), query);
        if (aIsPrefix != bIsPrefix) {
            return aIsPrefix;
        }
        return collator.compare(text::lowerCase(a.name()), text::lowerCase(b.name())) < 0;
    });
    results.insert(results.end(), matches.begin(), matches.end());
    return results;
}

} // namespace kestrel
