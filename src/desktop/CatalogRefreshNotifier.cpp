#include "desktop/CatalogRefreshNotifier.h"

#include "app/AppLauncher.h"

#include <utility>

namespace kestrel {

CatalogRefreshNotifier::CatalogRefreshNotifier(AppLauncher& launcher, CatalogRefreshOptions options)
    : m_refresher(std::make_unique<CatalogRefresher>(launcher, std::move(options)))
{
    if (m_refresher->fileDescriptor() < 0)
        return; // no refreshing: the catalogue stays as read at start
    m_notifier = std::make_unique<QSocketNotifier>(m_refresher->fileDescriptor(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { m_refresher->processEvents(); });
}

} // namespace kestrel
