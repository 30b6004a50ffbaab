#include "LauncherFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>

namespace kestrel::testing {

namespace {

class FakeHotKey : public HotKey {
public:
    void registerHotKey(std::function<void()> callback) override { m_callback = std::move(callback); }

private:
    std::function<void()> m_callback;
};

class FakeWindow : public SearchWindowPort {
public:
    explicit FakeWindow(DesktopLog& log) : m_log(log) {}
    void center() override {}
    void makeKeyAndOrderFront() override { ++m_log.windowShows; }
    void orderOut() override { ++m_log.windowHides; }

private:
    DesktopLog& m_log;
};

} // namespace

struct LauncherFixture::Services : ApplicationActivator, Workspace, Pasteboard {
    explicit Services(DesktopLog& log) : m_log(log) {}
    void activateIgnoringOtherApps() override { ++m_log.activations; }
    void openApplication(const FileUrl& url) override { m_log.openedPaths.push_back(url.path()); }
    void clearContents() override { ++m_log.clipboardClears; }
    void setString(const std::string& text) override { m_log.clipboard.push_back(text); }

    DesktopLog& m_log;
};

LauncherFixture::LauncherFixture(const std::vector<std::string>& appNames)
    : m_services(std::make_unique<Services>(m_log))
{
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("Applications"));
    for (const std::string& name : appNames) {
        root.mkpath(QStringLiteral("Applications/") + QString::fromStdString(name) + QStringLiteral(".app"));
    }

    CatalogLocations locations;
    locations.bundleRoot = m_root.path().toStdString();
    LauncherServices services;
    services.hotKey = std::make_unique<FakeHotKey>();
    services.makeSearchWindow = [this](AppLauncher&) { return std::make_unique<FakeWindow>(m_log); };
    services.activator = m_services.get();
    services.workspace = m_services.get();
    services.pasteboard = m_services.get();
    m_launcher = std::make_unique<AppLauncher>(std::move(locations), std::move(services));
}

LauncherFixture::~LauncherFixture() = default;

std::string LauncherFixture::applicationsFolder() const
{
    return m_root.path().toStdString() + "/Applications";
}

void settle()
{
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

void saveSnapshot(const QImage& image, const char* name)
{
    const QString folder = qEnvironmentVariable("KESTREL_UI_SNAPSHOTS");
    if (folder.isEmpty()) {
        return;
    }
    QDir().mkpath(folder);
    QImage shown(image.size(), QImage::Format_ARGB32);
    shown.setDevicePixelRatio(image.devicePixelRatio());
    shown.fill(QColor(90, 110, 140));
    QPainter painter(&shown);
    painter.drawImage(0, 0, image);
    painter.end();
    shown.save(QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

std::vector<std::string> idsOf(const std::vector<LauncherApp>& apps)
{
    std::vector<std::string> ids;
    for (const LauncherApp& app : apps) {
        ids.push_back(app.id().toString());
    }
    return ids;
}

std::vector<std::string> namesOf(const std::vector<LauncherApp>& apps)
{
    std::vector<std::string> names;
    for (const LauncherApp& app : apps) {
        names.push_back(app.name());
    }
    return names;
}

} // namespace kestrel::testing
