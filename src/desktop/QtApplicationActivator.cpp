#include "desktop/QtApplicationActivator.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace kestrel {

namespace {

/// EWMH source indication of a _NET_ACTIVE_WINDOW request made on the user's direct command.
constexpr std::uint32_t sourceUserAction = 2;

void requestActiveWindow(xcb_connection_t* connection, xcb_window_t window, std::uint32_t time)
{
    // The atom, once it exists, lasts as long as the X server; asking again would cost every show a
    // round trip to the server before the window can appear.
    static xcb_atom_t activeWindow = XCB_ATOM_NONE;
    if (activeWindow == XCB_ATOM_NONE) {
        static const char name[] = "_NET_ACTIVE_WINDOW";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, sizeof(name) - 1, name), nullptr);
        if (!atom)
            return;
        activeWindow = atom->atom;
        std::free(atom);
    }
    if (activeWindow == XCB_ATOM_NONE)
        return; // no EWMH window manager has run on this display

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; screens.rem; xcb_screen_next(&screens)) {
        xcb_client_message_event_t message;
        std::memset(&message, 0, sizeof(message));
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = activeWindow;
        message.data.data32[0] = sourceUserAction;
        message.data.data32[1] = time;
        xcb_send_event(connection, 0, screens.data->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_flush(connection);
}

} // namespace

QtApplicationActivator::QtApplicationActivator(std::function<std::uint32_t()> userTime)
    : m_userTime(std::move(userTime))
{
}

void QtApplicationActivator::setWindow(QWidget* window)
{
    m_window = window;
}

void QtApplicationActivator::activateIgnoringOtherApps()
{
    if (!m_window)
        return;
    m_window->raise();
    m_window->activateWindow();

    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    // why: Qt asks for activation as an ordinary application, with the time of the last X event it saw;
    // after a toggle through the single-instance socket that time predates the user's action, and
    // window managers with focus stealing prevention then refuse the focus. Every show of this window
    // answers a direct command of the user, which is what the EWMH "user action" source says.
    const std::uint32_t time = m_userTime ? m_userTime() : 0;
    requestActiveWindow(x11->connection(), static_cast<xcb_window_t>(m_window->winId()), time);
}

} // namespace kestrel
