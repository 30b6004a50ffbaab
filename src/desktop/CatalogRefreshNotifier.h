#pragma once

#include "app/CatalogRefresher.h"

#include <QSocketNotifier>

#include <memory>

namespace kestrel {

class AppLauncher;

/// Connects a `CatalogRefresher` to Qt's event loop: its descriptor is watched by a socket notifier, and
/// every time it becomes readable the refresher handles what is waiting (file events, the end of the quiet
/// period, a finished build), all on the main thread. Owns the refresher. Needs a QCoreApplication; must be
/// destroyed before the launcher it refreshes.
class CatalogRefreshNotifier {
public:
    explicit CatalogRefreshNotifier(AppLauncher& launcher, CatalogRefreshOptions options = {});

    const CatalogRefresher& refresher() const { return *m_refresher; }

private:
    std::unique_ptr<CatalogRefresher> m_refresher;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kestrel
