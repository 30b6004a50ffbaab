#include "desktop/HotKeyManager.h"

#include "app/LauncherKeys.h"
#include "desktop/HotKeyManager_gnome.h"
#include "desktop/HotKeyManager_portal.h"
#include "desktop/HotKeyManager_x11.h"
#include "main/Diagnostics.h"

#include <QMetaObject>

#include <utility>

namespace kestrel {

namespace {

const std::string hotKeyName = launcherKeys::hotKey.name;

/// The clause of the stderr line that says why `method` gave no key.
std::string problemClause(HotKeyManager::Method method, const std::string& reason)
{
    switch (method) {
    case HotKeyManager::Method::portal:
        return "no hot key from the desktop's GlobalShortcuts portal (" + reason + ")";
    case HotKeyManager::Method::gnomeBinding:
    case HotKeyManager::Method::x11Grab:
        return reason;
    }
    return reason;
}

} // namespace

HotKeyManager::HotKeyManager(DesktopSession session, std::string toggleCommand)
    : m_session(std::move(session))
    , m_toggleCommand(std::move(toggleCommand))
{
}

HotKeyManager::~HotKeyManager() = default;

std::vector<HotKeyManager::Method> HotKeyManager::methodsFor(const DesktopSession& session)
{
    std::vector<Method> methods;
    if (session.globalShortcutsPortal)
        methods.push_back(Method::portal);
    else if (session.wayland && session.isDesktop("GNOME"))
        methods.push_back(Method::gnomeBinding);
    if (session.x11)
        methods.push_back(Method::x11Grab);
    return methods;
}

void HotKeyManager::registerHotKey(std::function<void(const Activation&)> callback)
{
    m_callback = std::move(callback);
    if (m_backend)
        m_released.push_back(std::move(m_backend));
    m_methods = methodsFor(m_session);
    m_nextMethod = 0;
    m_problems.clear();
    if (m_session.wayland && !m_session.globalShortcutsPortal)
        m_problems.push_back(problemClause(Method::portal, m_session.portalAbsence));
    startNext();
}

std::unique_ptr<HotKeyBackend> HotKeyManager::makeBackend(Method method)
{
    switch (method) {
    case Method::portal:
        return std::make_unique<PortalHotKey>(PortalHotKey::namesBoundKeys(m_session));
    case Method::gnomeBinding:
        return std::make_unique<GnomeBindingHotKey>(m_toggleCommand);
    case Method::x11Grab:
        return std::make_unique<X11GrabHotKey>();
    }
    return nullptr;
}

void HotKeyManager::startNext()
{
    if (m_nextMethod == m_methods.size()) {
        diagnostics::report("hot key", fallbackMessage(m_problems, false));
        return;
    }
    const Method method = m_methods[m_nextMethod++];
    m_backend = makeBackend(method);
    HotKeyBackend* started = m_backend.get();
    started->start({.pressed = [this](std::uint32_t xTime) { fire(xTime); },
                    .failed = [this, method](const std::string& reason) { backendFailed(method, reason); }});
    // A backend that failed inside `start` has already been replaced by the next one.
    if (m_backend.get() == started && method == Method::x11Grab && m_session.wayland)
        diagnostics::report("hot key", fallbackMessage(m_problems, true));
}

void HotKeyManager::backendFailed(Method method, const std::string& reason)
{
    m_released.push_back(std::move(m_backend));
    // why: the failing backend may be inside one of its own slots; it goes once that has returned.
    QMetaObject::invokeMethod(
        &m_queue, [this] { m_released.clear(); }, Qt::QueuedConnection);
    m_problems.push_back(problemClause(method, reason));
    startNext();
}

void HotKeyManager::fire(std::uint32_t xTime)
{
    if (m_callback)
        m_callback(Activation{xTime, {}, {}});
}

std::string HotKeyManager::fallbackAdvice()
{
    return "run `kestrelpoint` again to toggle the launcher, or bind that command to a key in your desktop's "
           "settings";
}

std::string HotKeyManager::fallbackMessage(const std::vector<std::string>& problems, bool grabbedOnWayland)
{
    if (problems.empty() && !grabbedOnWayland)
        return {};
    std::string line;
    for (const std::string& problem : problems)
        line += (line.empty() ? "" : ", and ") + problem;
    if (grabbedOnWayland)
        return line + (line.empty() ? "" : "; ") + hotKeyName
               + " is grabbed through X11 instead, which sees it only while an X11 window has the focus; "
               + fallbackAdvice();
    return line + ", so the launcher has no hot key; " + fallbackAdvice();
}

} // namespace kestrel
