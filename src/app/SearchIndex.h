#pragma once

#include "catalog/LauncherApp.h"
#include "text/LocaleCollator.h"
#include "text/NormalizedText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrel {

/// The application part of the result list, prepared once per catalogue so that a keystroke costs one
/// pass over it. Holds a copy of the records in rank order (collation order of their lower-cased names,
/// ties in catalogue order) with each lower-cased name prepared for canonical matching. Immutable after
/// construction; the caller keeps it in step with the catalogue. Built on any thread, then used by one
/// thread at a time (not thread-safe).
class SearchIndex {
public:
    /// Prepares `apps` (copied), ranking them with `collator`, which is used only here.
    SearchIndex(const std::vector<LauncherApp>& apps, const text::LocaleCollator& collator);

    /// Appends to `out` every record whose lower-cased name contains the lower-cased `searchText` (as
    /// typed: not trimmed): first those whose lower-cased name begins with it, then the others; each group
    /// in collation order of lower-cased names, equal names in catalogue order. The result equals a stable
    /// sort of the matches in catalogue order by that rule. The empty text matches every record.
    void appendMatches(std::string_view searchText, std::vector<LauncherApp>& out) const;

    std::size_t size() const { return m_apps.size(); }

private:
    /// One bit per class of UTF-16 code unit present in the prepared text: a name can only contain a query
    /// whose bits are all among its own.
    static std::uint64_t unitMask(const text::NormalizedText& text);

    /// Records, their prepared lower-cased names and the names' unit masks, all in rank order.
    std::vector<LauncherApp> m_apps;
    std::vector<text::NormalizedText> m_lowerNames;
    std::vector<std::uint64_t> m_masks;
};

} // namespace kestrel
