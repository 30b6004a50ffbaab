#include "app/Catalog.h"

#include "app/SearchIndex.h"
#include "text/LocaleCollator.h"

#include <utility>

namespace kestrel {

Catalog::Catalog(CatalogLocations locations)
    : m_index(std::move(locations))
    , m_searchIndex(std::make_unique<SearchIndex>(m_index.apps(), text::LocaleCollator::forUser()))
{
}

Catalog Catalog::build(CatalogLocations locations)
{
    Catalog catalog(std::move(locations));
    catalog.m_index.loadApplications();
    catalog.m_searchIndex = std::make_unique<SearchIndex>(catalog.m_index.apps(), text::LocaleCollator::forUser());
    return catalog;
}

Catalog::Catalog(Catalog&&) noexcept = default;
Catalog& Catalog::operator=(Catalog&&) noexcept = default;
Catalog::~Catalog() = default;

} // namespace kestrel
