#include "app/SearchIndex.h"

#include "text/UnicodeText.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace kestrel {

SearchIndex::SearchIndex(const std::vector<LauncherApp>& apps, const text::LocaleCollator& collator)
{
    std::vector<std::string> lowerNames;
    std::vector<std::string> sortKeys;
    lowerNames.reserve(apps.size());
    sortKeys.reserve(apps.size());
    for (const LauncherApp& app : apps) {
        lowerNames.push_back(text::lowerCase(app.name()));
        sortKeys.push_back(collator.sortKey(lowerNames.back()));
    }

    // A sort key orders exactly as the collator compares, and the position breaks ties, so this order is
    // the one a stable sort by the collator would give.
    std::vector<std::size_t> rank(apps.size());
    std::iota(rank.begin(), rank.end(), std::size_t{0});
    std::sort(rank.begin(), rank.end(), [&sortKeys](std::size_t a, std::size_t b) {
        const int order = sortKeys[a].compare(sortKeys[b]);
        return order < 0 || (order == 0 && a < b);
    });

    m_apps.reserve(apps.size());
    m_lowerNames.reserve(apps.size());
    m_masks.reserve(apps.size());
    for (const std::size_t index : rank) {
        m_apps.push_back(apps[index]);
        m_lowerNames.push_back(text::NormalizedText::fromUtf8(lowerNames[index]));
        m_masks.push_back(unitMask(m_lowerNames.back()));
    }
}

std::uint64_t SearchIndex::unitMask(const text::NormalizedText& text)
{
    std::uint64_t mask = 0;
    for (const char16_t unit : text.nfd()) {
        // Lower-case ASCII letters and digits get a bit each; every other unit shares the remaining 28.
        const unsigned value = unit;
        unsigned bit = 36 + value % 28;
        if (value >= u'a' && value <= u'z') {
            bit = value - u'a';
        } else if (value >= u'0' && value <= u'9') {
            bit = 26 + (value - u'0');
        }
        mask |= std::uint64_t{1} << bit;
    }
    return mask;
}

void SearchIndex::appendMatches(std::string_view searchText, std::vector<LauncherApp>& out) const
{
    const text::NormalizedText query = text::NormalizedText::fromUtf8(text::lowerCase(searchText));
    const std::uint64_t queryMask = unitMask(query);

    // One pass in rank order: prefix matches go straight to the output, the others wait in a side list.
    // Both come out already sorted, so no comparison is needed.
    std::vector<std::uint32_t> elsewhere;
    for (std::size_t i = 0; i < m_lowerNames.size(); ++i) {
        if ((queryMask & ~m_masks[i]) != 0) {
            continue;
        }
        const text::NormalizedText& name = m_lowerNames[i];
        if (!name.contains(query)) {
            continue;
        }
        if (name.startsWith(query)) {
            out.push_back(m_apps[i]);
        } else {
            elsewhere.push_back(static_cast<std::uint32_t>(i));
        }
    }
    out.reserve(out.size() + elsewhere.size());
    for (const std::uint32_t i : elsewhere) {
        out.push_back(m_apps[i]);
    }
}

} // namespace kestrel
