#include "desktop/KeyMonitor.h"

#include "app/AppLauncher.h"
#include "app/LauncherKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace kestrel {

KeyMonitor::Action KeyMonitor::decide(bool forWindow, std::uint32_t keysym)
{
    if (!forWindow)
        return Action::none;
    if (keysym == launcherKeys::activate.keysym)
        return Action::activate;
    if (keysym == launcherKeys::hide.keysym)
        return Action::hide;
    if (keysym == launcherKeys::moveDown.keysym)
        return Action::moveDown;
    if (keysym == launcherKeys::moveUp.keysym)
        return Action::moveUp;
    return Action::none;
}

KeyMonitor::KeyMonitor(AppLauncher& launcher, QWidget* window)
    : m_launcher(launcher)
    , m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

KeyMonitor::~KeyMonitor()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool KeyMonitor::isForWindow(QObject* receiver) const
{
    if (!m_window || !m_window->isVisible())
        return false;
    // why: QApplication::activeWindow() can lag behind the X focus after the window is hidden and shown
    // again (the activation event arrives after the first keys), so the key's own receiver decides:
    // either the window's native QWindow or a widget inside the search window.
    if (auto* widget = qobject_cast<QWidget*>(receiver))
        return widget->window() == m_window;
    if (auto* window = qobject_cast<QWindow*>(receiver))
        return window == m_window->windowHandle();
    return false;
}

bool KeyMonitor::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);

    const auto* key = static_cast<QKeyEvent*>(event);
    const Action action = decide(isForWindow(watched), key->nativeVirtualKey());
    if (action == Action::none)
        return false;

    if (type == QEvent::ShortcutOverride) {
        // why: accepting the override keeps application shortcuts from taking the key, and returning
        // true keeps the line edit from seeing it; the key press that follows is acted on below.
        event->accept();
        return true;
    }

    switch (action) {
    case Action::activate:
        m_launcher.activateSelected();
        break;
    case Action::hide:
        m_launcher.hideSearchWindow();
        break;
    case Action::moveDown:
        m_launcher.moveSelection(+1);
        break;
    case Action::moveUp:
        m_launcher.moveSelection(-1);
        break;
    case Action::none:
        break;
    }
    return true;
}

} // namespace kestrel
