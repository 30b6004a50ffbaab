// The application entry: one launcher per user, resident until it is quit, with no window at start.

#include "app/AppLauncher.h"
#include "catalog/CatalogLocations.h"
#include "desktop/CatalogRefreshNotifier.h"
#include "desktop/GioWorkspace.h"
#include "desktop/HotKeyManager.h"
#include "desktop/QtApplicationActivator.h"
#include "desktop/QtPasteboard.h"
#include "desktop/SearchWindow.h"
#include "desktop/SingleInstance.h"
#include "ui/ApplicationIcon.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

using namespace kestrel;

int main(int argc, char** argv)
{
    // Command-line arguments are not accepted and are ignored.
    (void)argc;

    // A second start only toggles the running launcher: settled before anything slow happens, and
    // without connecting to the display.
    std::optional<SingleInstance> singleInstance;
    if (const std::optional<std::string> directory = SingleInstance::defaultDirectory())
        singleInstance.emplace(*directory);
    const SingleInstance::Role role = singleInstance ? singleInstance->claim() : SingleInstance::Role::unavailable;
    if (role == SingleInstance::Role::secondary) {
        if (singleInstance->sendToggle())
            return 0;
        std::fprintf(stderr, "kestrelpoint: a launcher is already running but does not answer on %s\n",
                     singleInstance->socketPath().c_str());
        return 1;
    }
    if (role == SingleInstance::Role::unavailable) {
        singleInstance.reset();
        std::fprintf(stderr, "kestrelpoint: no private directory for the single-instance socket; "
                             "running again will start a second launcher\n");
    }

    // Qt would abort with a core dump when it cannot reach the display; say what is missing instead.
    xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
    const bool displayReachable = xcb_connection_has_error(probe) == 0;
    xcb_disconnect(probe);
    if (!displayReachable) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "kestrelpoint: cannot connect to the X display \"%s\"; the launcher needs X11 or XWayland\n",
                     display ? display : "");
        return 1;
    }

    // why: the X11 platform is chosen on Qt's command line rather than through QT_QPA_PLATFORM, so the
    // choice never reaches the environment of the applications this launcher starts.
    char platformOption[] = "-platform";
    char platformName[] = "xcb";
    char* qtArguments[] = {argv[0], platformOption, platformName, nullptr};
    int qtArgumentCount = 3;
    QApplication application(qtArgumentCount, qtArguments);
    QApplication::setApplicationName(QStringLiteral("kestrelpoint"));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    std::unique_ptr<AppLauncher> launcher;
    bool toggledBySocket = false;
    if (singleInstance) {
        // Listening starts now; a toggle that arrives during the catalogue scan waits in the socket's
        // queue and is answered once the event loop runs.
        singleInstance->listen([&launcher, &toggledBySocket] {
            if (!launcher)
                return;
            toggledBySocket = true;
            launcher->toggleSearchWindow();
            toggledBySocket = false;
        });
    }

    auto hotKey = std::make_unique<HotKeyManager>();
    HotKeyManager* hotKeyManager = hotKey.get(); // owned by the launcher, which outlives every use here
    QtApplicationActivator activator(
        [hotKeyManager, &toggledBySocket] { return toggledBySocket ? 0u : hotKeyManager->lastPressTime(); });
    GioWorkspace workspace;
    QtPasteboard pasteboard;

    // Built ahead of the first show (hidden, native window created) so that the first press of the hot
    // key only places and maps it; the launcher still receives it on its first show.
    std::unique_ptr<SearchWindow> preparedWindow;

    LauncherServices services;
    services.hotKey = std::move(hotKey);
    services.makeSearchWindow = [&preparedWindow,
                                 &activator](AppLauncher& owner) -> std::unique_ptr<SearchWindowPort> {
        std::unique_ptr<SearchWindow> window =
            preparedWindow ? std::move(preparedWindow) : std::make_unique<SearchWindow>(owner);
        activator.setWindow(window.get());
        return window;
    };
    services.activator = &activator;
    services.workspace = &workspace;
    services.pasteboard = &pasteboard;

    launcher = std::make_unique<AppLauncher>(CatalogLocations::defaults(), std::move(services));
    preparedWindow = std::make_unique<SearchWindow>(*launcher);
    auto catalogRefresh = std::make_unique<CatalogRefreshNotifier>(*launcher);

    const int status = application.exec();
    // The window's view observes the launcher, so a window never shown goes first; the socket closes
    // while the event dispatcher it needs still exists.
    preparedWindow.reset();
    catalogRefresh.reset();
    launcher.reset();
    singleInstance.reset();
    return status;
}
