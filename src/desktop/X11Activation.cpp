#include "desktop/X11Activation.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kestrel {

namespace {

/// EWMH source indication of a _NET_ACTIVE_WINDOW request made on the user's direct command.
constexpr std::uint32_t sourceUserAction = 2;
/// Bytes of message text carried by one 8-bit client message.
constexpr std::size_t messageChunk = 20;

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name, bool onlyIfExists)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, onlyIfExists ? 1 : 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

/// Sends `message` and its terminating NUL to every root window as 8-bit client messages, the first of
/// type `beginType`, the rest of `moreType`.
void broadcastText(xcb_connection_t* connection, const std::string& message, xcb_atom_t beginType, xcb_atom_t moreType)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; screens.rem; xcb_screen_next(&screens)) {
        const xcb_window_t root = screens.data->root;
        for (std::size_t sent = 0; sent <= message.size(); sent += messageChunk) {
            xcb_client_message_event_t event;
            std::memset(&event, 0, sizeof(event));
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 8;
            event.window = root;
            event.type = sent == 0 ? beginType : moreType;
            const std::size_t count = std::min(messageChunk, message.size() - sent);
            std::memcpy(event.data.data8, message.data() + sent, count); // the rest stays NUL
            xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
        }
    }
    xcb_flush(connection);
}

/// The startup-notification "remove" message for `startupId`, its value quoted (terminating NUL not included).
std::string removeMessage(const std::string& startupId)
{
    std::string message = "remove: ID=\"";
    for (const char c : startupId) {
        if (c == '"' || c == '\\')
            message.push_back('\\');
        message.push_back(c);
    }
    message.push_back('"');
    return message;
}

} // namespace

void X11Activation::markStartupId(QWidget& window, const std::string& startupId)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || startupId.empty())
        return;
    const xcb_atom_t property = internAtom(connection, "_NET_STARTUP_ID", false);
    const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING", false);
    if (property == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), property, utf8, 8,
                        static_cast<std::uint32_t>(startupId.size()), startupId.data());
    xcb_flush(connection);
}

void X11Activation::requestActiveWindow(QWidget& window, std::uint32_t userTime)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return;
    // The atom, once it exists, lasts as long as the X server; asking again would cost every show a
    // round trip to the server before the window can appear.
    static xcb_atom_t activeWindow = XCB_ATOM_NONE;
    if (activeWindow == XCB_ATOM_NONE)
        activeWindow = internAtom(connection, "_NET_ACTIVE_WINDOW", true);
    if (activeWindow == XCB_ATOM_NONE)
        return; // no EWMH window manager has run on this display

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; screens.rem; xcb_screen_next(&screens)) {
        xcb_client_message_event_t message;
        std::memset(&message, 0, sizeof(message));
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = static_cast<xcb_window_t>(window.winId());
        message.type = activeWindow;
        message.data.data32[0] = sourceUserAction;
        message.data.data32[1] = userTime;
        xcb_send_event(connection, 0, screens.data->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_flush(connection);
}

void X11Activation::completeStartup(const std::string& startupId)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || startupId.empty())
        return;
    const xcb_atom_t begin = internAtom(connection, "_NET_STARTUP_INFO_BEGIN", false);
    const xcb_atom_t more = internAtom(connection, "_NET_STARTUP_INFO", false);
    if (begin == XCB_ATOM_NONE || more == XCB_ATOM_NONE)
        return;
    broadcastText(connection, removeMessage(startupId), begin, more);
}

} // namespace kestrel
