#pragma once

#include "app/AppLauncher.h"

#include <QImage>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace kestrel::testing {

/// Records what the controller asks of the desktop.
struct DesktopLog {
    std::vector<std::string> openedPaths;
    std::vector<std::string> clipboard;
    int clipboardClears = 0;
    int activations = 0;
    int windowShows = 0;
    int windowHides = 0;
};

/// A real controller over a catalogue of empty ".app" bundles in a temporary folder, with fake desktop
/// services that record into `log`.
class LauncherFixture {
public:
    /// One bundle per name, "<name>.app" in the fixture's Applications folder.
    explicit LauncherFixture(const std::vector<std::string>& appNames);
    ~LauncherFixture();

    AppLauncher& launcher() { return *m_launcher; }
    DesktopLog& log() { return m_log; }
    std::string applicationsFolder() const;

private:
    QTemporaryDir m_root;
    DesktopLog m_log;
    struct Services;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<AppLauncher> m_launcher;
};

/// Runs the event loop until posted events, deferred deletions included, are done.
void settle();
/// With KESTREL_UI_SNAPSHOTS set to a folder, saves `image` there as "<name>.png" over a plain backdrop, so
/// a person can look at what the views draw.
void saveSnapshot(const QImage& image, const char* name);

/// Ids of `apps`, in order.
std::vector<std::string> idsOf(const std::vector<LauncherApp>& apps);
/// Names of `apps`, in order.
std::vector<std::string> namesOf(const std::vector<LauncherApp>& apps);

} // namespace kestrel::testing
