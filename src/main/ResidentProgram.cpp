#include "main/ResidentProgram.h"

#include "app/AppLauncher.h"
#include "catalog/CatalogLocations.h"
#include "desktop/CatalogRefreshNotifier.h"
#include "desktop/DesktopSession.h"
#include "desktop/GioWorkspace.h"
#include "desktop/HotKeyManager.h"
#include "desktop/QtPasteboard.h"
#include "desktop/SearchWindow.h"
#include "desktop/SingleInstance.h"
#include "desktop/X11Activation.h"
#include "main/Diagnostics.h"
#include "main/EntryProgram.h"
#include "main/InstanceClaim.h"
#include "main/ToggleMessage.h"
#include "ui/ApplicationIcon.h"

#include <QApplication>

#include <cstdlib>

namespace kestrel {

namespace {

char platformOption[] = "-platform";

/// Reads and removes one variable of this process's environment.
std::string takeVariable(const char* name)
{
    const char* value = std::getenv(name);
    std::string text = value ? value : "";
    ::unsetenv(name);
    return text;
}

} // namespace

ResidentProgram::ResidentProgram(int, char** argv)
    : m_programName(argv[0])
    , m_qtPlatform(DesktopSession::qtPlatform)
    , m_showAtStart(!EntryProgram::inBackground(argv))
{
}

ResidentProgram::~ResidentProgram()
{
    tearDown();
}

int ResidentProgram::run()
{
    if (const std::optional<int> status = takeOverInstance())
        return *status;
    if (!DesktopSession::displayReachable())
        return 1;
    setUpQt();
    wireServices();
    // A start that a person asked for (the menu, a key binding, a terminal) shows the window at once; the
    // session's autostart shows nothing. The show completes this start's startup sequence itself.
    if (m_showAtStart)
        m_launcher->toggleSearchWindow(m_ownStart);
    else
        X11Activation::completeStartup(m_ownStart.startupId);
    const int status = QApplication::exec();
    tearDown();
    return status;
}

std::optional<int> ResidentProgram::takeOverInstance()
{
    const char* handOver = std::getenv(InstanceClaim::handOverVariable);
    if (!handOver) {
        diagnostics::report("resident", "kestrelpoint-resident is started by the command kestrelpoint");
        return 2;
    }
    const std::string value = handOver;
    ::unsetenv(InstanceClaim::handOverVariable); // not for the applications the launcher starts
    if (value != "none") {
        if (const std::optional<InstanceClaim::Descriptors> claim = InstanceClaim::adopt(value))
            m_listeningFd = claim->listening; // the lock descriptor stays open for the life of the process
        else
            diagnostics::report("instance", "the single-instance claim was not handed over; running again will "
                                            "start a second launcher");
    }
    m_toggleCommand = takeVariable(EntryProgram::entryPathVariable);
    if (m_toggleCommand.empty())
        m_toggleCommand = "kestrelpoint";
    // why: Qt would keep this start's startup id for the first window, which a background start shows only
    // at a hot key press long after; the launcher presents it itself (run() shows or completes it).
    const ToggleMessage own = ToggleMessage::fromValues(takeVariable("DESKTOP_STARTUP_ID").c_str(),
                                                        takeVariable("XDG_ACTIVATION_TOKEN").c_str());
    m_ownStart = Activation{own.startupTime(), own.startupId, own.activationToken};
    return std::nullopt;
}

void ResidentProgram::setUpQt()
{
    // why: the X11 platform is chosen on Qt's command line rather than through QT_QPA_PLATFORM, so the
    // choice never reaches the environment of the applications this launcher starts.
    m_qtArguments[0] = m_programName;
    m_qtArguments[1] = platformOption;
    m_qtArguments[2] = m_qtPlatform.data();
    m_qtArgumentCount = 3;
    m_application = std::make_unique<QApplication>(m_qtArgumentCount, m_qtArguments);
    QApplication::setApplicationName(QStringLiteral("kestrelpoint"));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);
}

void ResidentProgram::wireServices()
{
    if (m_listeningFd >= 0) {
        // Toggles sent since the entry bound the socket wait in its queue; they are answered once the
        // event loop runs, after the catalogue scan below.
        m_singleInstance = std::make_unique<SingleInstance>(ToggleMessage::maxLineLength);
        if (!m_singleInstance->listen(m_listeningFd, [this](const std::string& line) { answer(line); }))
            m_singleInstance.reset();
    }
    const DesktopSession session = DesktopSession::detect();
    m_workspace = std::make_unique<GioWorkspace>();
    m_pasteboard = std::make_unique<QtPasteboard>(session);

    LauncherServices services;
    services.hotKey = std::make_unique<HotKeyManager>(session, m_toggleCommand);
    services.makeSearchWindow = [this](AppLauncher& owner) -> std::unique_ptr<SearchWindowPort> {
        return m_preparedWindow ? std::move(m_preparedWindow) : std::make_unique<SearchWindow>(owner);
    };
    // On X11 the window's own show asks the window manager for the focus with the user's time; there is
    // no separate activation of the application.
    services.activator = nullptr;
    services.workspace = m_workspace.get();
    services.pasteboard = m_pasteboard.get();
    m_launcher = std::make_unique<AppLauncher>(CatalogLocations::defaults(), std::move(services));
    // Built hidden, native window created, so the first press only places and maps it.
    m_preparedWindow = std::make_unique<SearchWindow>(*m_launcher);
    CatalogRefreshOptions refresh;
    refresh.reportProblem = diagnostics::report;
    m_catalogRefresh = std::make_unique<CatalogRefreshNotifier>(*m_launcher, std::move(refresh));
}

void ResidentProgram::answer(const std::string& line)
{
    const std::optional<ToggleMessage> message = ToggleMessage::parse(line);
    if (!message || !m_launcher)
        return;
    const Activation activation{message->startupTime(), message->startupId, message->activationToken};
    const bool hiding = m_launcher->isSearchVisible();
    m_launcher->toggleSearchWindow(activation);
    if (hiding)
        X11Activation::completeStartup(activation.startupId); // a show completes it itself
}

void ResidentProgram::tearDown()
{
    // The window's view observes the launcher, so a window never shown goes first; the socket closes
    // while the event dispatcher it needs still exists.
    m_preparedWindow.reset();
    m_catalogRefresh.reset();
    m_launcher.reset();
    m_singleInstance.reset();
    m_pasteboard.reset();
    m_workspace.reset();
    m_application.reset();
}

} // namespace kestrel
