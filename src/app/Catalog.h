#pragma once

#include "catalog/ApplicationIndex.h"
#include "catalog/CatalogLocations.h"

#include <memory>

namespace kestrel {

class SearchIndex;

/// A complete catalogue: the scanned, sorted application index and the search data prepared from it.
/// Built whole on any thread, then handed to the controller's thread and used only there.
class Catalog {
public:
    /// An unscanned catalogue for `locations`: no applications.
    explicit Catalog(CatalogLocations locations);
    /// Scans `locations` and prepares the search data. Uses only objects of its own (the environment is
    /// read, not written), so several builds may run on different threads. Never fails.
    static Catalog build(CatalogLocations locations);

    Catalog(Catalog&&) noexcept;
    Catalog& operator=(Catalog&&) noexcept;
    ~Catalog();

    const ApplicationIndex& index() const { return m_index; }
    const SearchIndex& searchIndex() const { return *m_searchIndex; }

private:
    ApplicationIndex m_index;
    std::unique_ptr<SearchIndex> m_searchIndex;
};

} // namespace kestrel
