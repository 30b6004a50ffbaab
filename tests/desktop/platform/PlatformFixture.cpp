#include "PlatformFixture.h"

#include "catalog/CatalogLocations.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QWidget>

#include <stdexcept>

namespace kestrel::test {

void writeDesktopEntry(const QString& directory, const QString& fileName, const QString& name, const QString& exec)
{
    QDir().mkpath(directory);
    QFile file(directory + QLatin1Char('/') + fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write desktop entry");
    file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n").arg(name, exec).toUtf8());
}

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void WidgetWindowPort::makeKeyAndOrderFront()
{
    m_widget.show();
    m_widget.raise();
    m_widget.activateWindow();
}

void WidgetWindowPort::orderOut()
{
    m_widget.hide();
}

LauncherHarness::LauncherHarness(WindowFactory makeWindow)
{
    const QString applications = m_root.path() + QStringLiteral("/applications");
    writeDesktopEntry(applications, QStringLiteral("alpha.desktop"), QStringLiteral("Alpha"));
    writeDesktopEntry(applications, QStringLiteral("beta.desktop"), QStringLiteral("Beta"));
    writeDesktopEntry(applications, QStringLiteral("gamma.desktop"), QStringLiteral("Gamma"));

    CatalogLocations locations;
    locations.bundleRoot = (m_root.path() + QStringLiteral("/no-bundles")).toStdString();
    locations.xdgApplicationDirectories = {applications.toStdString()};

    LauncherServices services;
    services.hotKey = std::make_unique<InertHotKey>();
    services.makeSearchWindow = std::move(makeWindow);
    services.workspace = &workspace;
    services.pasteboard = &pasteboard;
    m_launcher = std::make_unique<AppLauncher>(locations, std::move(services));
    if (m_launcher->filteredApps().size() != 3)
        throw std::runtime_error("the fixture catalogue should hold three applications");
}

LauncherHarness::~LauncherHarness() = default;

} // namespace kestrel::test
