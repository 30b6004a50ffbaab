#include "desktop/HotKeyManager.h"

#include "desktop/HotKeyManager_portal.h"
#include "desktop/HotKeyManager_x11.h"

#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace kestrel {

namespace {

constexpr std::uint16_t controlMask = 1u << 2; // X's ControlMask
constexpr std::uint16_t lockMask = 1u << 1;    // X's LockMask (CapsLock)

const char* const keyTaken = "Ctrl+Space is already taken by another program";

void printLine(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

} // namespace

void HotKeyManager::PortalRelease::operator()(PortalBackend* backend) const
{
    // why: the backend may be released from inside one of its own D-Bus slots (its failure report).
    backend->stop();
    backend->deleteLater();
}

HotKeyManager::HotKeyManager() = default;

HotKeyManager::~HotKeyManager() = default;

void HotKeyManager::registerHotKey(std::function<void(const Activation&)> callback)
{
    m_callback = std::move(callback);
    m_x11.reset();
    m_portal.reset();

    // The one place where the backend is chosen: the portal on a Wayland session, X11 otherwise and
    // whenever the portal gives no key.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) {
        m_portal.reset(new PortalBackend(*this, [this](const std::string& reason) { portalFailed(reason); }));
        m_portal->start();
        return;
    }
    registerX11({});
}

void HotKeyManager::portalFailed(const std::string& reason)
{
    m_portal.reset();
    registerX11(reason);
}

void HotKeyManager::registerX11(const std::string& portalProblem)
{
    const QString platform = QGuiApplication::platformName();
    std::string x11Problem;
    if (platform == QLatin1String("xcb")) {
        m_x11 = std::make_unique<X11Backend>(*this);
        const X11Backend::Result result = m_x11->grab();
        if (result.registered) {
            if (!portalProblem.empty())
                printLine(fallbackMessage(portalProblem, {}));
            return;
        }
        m_x11.reset();
        x11Problem = result.conflict ? keyTaken : "could not register Ctrl+Space (" + result.detail + ")";
    } else {
        x11Problem = "Qt's \"" + platform.toStdString() + "\" platform cannot grab keys";
    }
    printLine(fallbackMessage(portalProblem, x11Problem));
}

void HotKeyManager::fire(std::uint32_t time)
{
    if (m_callback)
        m_callback(Activation{time, {}, {}});
}

std::vector<std::uint16_t> HotKeyManager::grabModifierMasks(std::uint16_t numLockMask)
{
    // NumLock sharing the Lock bit (a broken modifier map) must not add a duplicate grab.
    if (numLockMask == lockMask || numLockMask == controlMask)
        numLockMask = 0;
    std::vector<std::uint16_t> masks{controlMask, static_cast<std::uint16_t>(controlMask | lockMask)};
    if (numLockMask != 0) {
        masks.push_back(static_cast<std::uint16_t>(controlMask | numLockMask));
        masks.push_back(static_cast<std::uint16_t>(controlMask | numLockMask | lockMask));
    }
    return masks;
}

bool HotKeyManager::RepeatFilter::press(std::uint32_t time)
{
    if (m_held)
        return false; // detectable auto-repeat: presses without releases in between
    m_held = true;
    // Classic auto-repeat: the server sends a release and a press with the same time stamp.
    return !(m_released && time == m_releaseTime);
}

void HotKeyManager::RepeatFilter::release(std::uint32_t time)
{
    m_held = false;
    m_released = true;
    m_releaseTime = time;
}

std::string HotKeyManager::fallbackAdvice()
{
    return "run `kestrelpoint` again to toggle the launcher, or bind that command to a key in your desktop's "
           "settings";
}

std::string HotKeyManager::fallbackMessage(const std::string& portalProblem, const std::string& x11Problem)
{
    if (portalProblem.empty() && x11Problem.empty())
        return {};
    std::string line = "kestrelpoint: ";
    if (!portalProblem.empty()) {
        line += "no hot key from the desktop's GlobalShortcuts portal (" + portalProblem + ")";
        if (x11Problem.empty())
            return line
                   + "; Ctrl+Space is grabbed through X11 instead, which sees it only while an X11 window "
                     "has the focus; "
                   + fallbackAdvice();
        line += ", and ";
    }
    return line + x11Problem + ", so the launcher has no hot key; " + fallbackAdvice();
}

std::string HotKeyManager::conflictMessage()
{
    return fallbackMessage({}, keyTaken);
}

} // namespace kestrel
