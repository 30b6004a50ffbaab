#include "desktop/HotKeyManager.h"

#include "desktop/HotKeyManager_x11.h"

#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <utility>

namespace kestrel {

namespace {

constexpr std::uint16_t controlMask = 1u << 2; // X's ControlMask
constexpr std::uint16_t lockMask = 1u << 1;    // X's LockMask (CapsLock)

void printLine(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

} // namespace

HotKeyManager::HotKeyManager() = default;

HotKeyManager::~HotKeyManager() = default;

void HotKeyManager::registerHotKey(std::function<void()> callback)
{
    m_callback = std::move(callback);
    m_x11.reset();

    // The one place where the backend is chosen.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        m_x11 = std::make_unique<X11Backend>(*this);
        const X11Backend::Result result = m_x11->grab();
        if (result.registered)
            return;
        m_x11.reset();
        printLine(result.conflict ? conflictMessage() : "kestrelpoint: could not register Ctrl+Space ("
                                                            + result.detail
                                                            + "); run `kestrelpoint` again to toggle the "
                                                              "launcher, or bind that command to a key in "
                                                              "your desktop's settings");
        return;
    }
    printLine("kestrelpoint: no global hot key on the \"" + platform.toStdString()
              + "\" platform; run `kestrelpoint` again to toggle the launcher, or bind that command to a key "
                "in your desktop's settings");
}

bool HotKeyManager::isRegistered() const
{
    return m_x11 != nullptr;
}

std::uint32_t HotKeyManager::lastPressTime() const
{
    return m_lastPressTime;
}

void HotKeyManager::fire(std::uint32_t time)
{
    m_lastPressTime = time;
    if (m_callback)
        m_callback();
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

std::string HotKeyManager::conflictMessage()
{
    return "kestrelpoint: Ctrl+Space is already taken by another program, so the launcher has no hot key; "
           "run `kestrelpoint` again to toggle the launcher, or bind that command to a key in your "
           "desktop's settings";
}

} // namespace kestrel
