#include "desktop/HotKeyManager_portal.h"

#include "app/LauncherKeys.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <algorithm>
#include <utility>

namespace kestrel {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalHotKey::Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.details;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalHotKey::Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.details;
    argument.endStructure();
    return argument;
}

namespace {

using Shortcut = PortalHotKey::Shortcut;
using ShortcutList = PortalHotKey::ShortcutList;

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString toggleId = QStringLiteral("toggle");

/// Why a D-Bus error reply means there is no usable portal, in the words of the one stderr line.
std::string describe(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return "no portal on the session bus";
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownProperty:
    case QDBusError::InvalidArgs:
        return "the portal has no GlobalShortcuts interface";
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return "the portal did not answer";
    default:
        return "the portal answered with an error: " + error.message().toStdString();
    }
}

/// The session handle of a CreateSession Response: a string in xdg-desktop-portal 1.16, an object path
/// in the interface's description; both are accepted.
QString sessionHandleOf(const QVariantMap& results)
{
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    if (handle.canConvert<QDBusObjectPath>() && handle.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return handle.value<QDBusObjectPath>().path();
    return handle.toString();
}

/// The shortcuts of an answer's results, as the portal sent them ("shortcuts", a(sa{sv})).
ShortcutList shortcutsOf(const QVariantMap& results)
{
    const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
    if (!shortcuts.canConvert<QDBusArgument>())
        return {};
    return qdbus_cast<ShortcutList>(shortcuts.value<QDBusArgument>());
}

} // namespace

bool PortalHotKey::bindsToggle(const ShortcutList& answer, bool keyNamed)
{
    return std::ranges::any_of(answer, [&](const Shortcut& shortcut) {
        return shortcut.id == toggleId
               && (!keyNamed || !shortcut.details.value(QStringLiteral("trigger_description")).toString().isEmpty());
    });
}

bool PortalHotKey::namesBoundKeys(const DesktopSession& session)
{
    return session.isDesktop("KDE");
}

PortalHotKey::ShortcutList PortalHotKey::requestedShortcuts()
{
    return {{toggleId,
             {{QStringLiteral("description"), QString::fromLatin1(toggleDescription)},
              {QStringLiteral("preferred_trigger"), QString::fromLatin1(launcherKeys::hotKey.portalTrigger)}}}};
}

PortalHotKey::Offer PortalHotKey::probe()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {false, "no session bus"};
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, answerTimeoutMs);
    if (!reply.isValid())
        return {false, describe(reply.error())};
    if (reply.value().variant().toUInt() < 1)
        return {false, "the portal's GlobalShortcuts interface has no version"};
    return {true, {}};
}

PortalHotKey::PortalHotKey(bool keyNamed)
    : m_keyNamed(keyNamed)
    , m_bus(QDBusConnection::sessionBus())
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<ShortcutList>();
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(answerTimeoutMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] { fail("the portal did not answer"); });
}

PortalHotKey::~PortalHotKey()
{
    closeSession();
}

QString PortalHotKey::objectPathFor(const QString& kind, const QString& uniqueName, const QString& token)
{
    QString sender = uniqueName;
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return portalPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') + token;
}

void PortalHotKey::start(Events events)
{
    m_events = std::move(events);
    if (!m_bus.isConnected()) {
        fail("no session bus");
        return;
    }
    // why: a portal that leaves the bus (or is replaced) takes our session and its shortcut with it.
    m_ownerWatcher = new QDBusServiceWatcher(portalService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_ownerWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &PortalHotKey::handleOwnerChanged);
    createSession();
}

void PortalHotKey::createSession()
{
    m_step = Step::createSession;
    // why: xdg-desktop-portal-kde 5.27 reads the shortcuts only from CreateSession's options (and then
    // answers BindShortcuts with what it bound there), while xdg-desktop-portal 1.16 passes them only to
    // BindShortcuts; 1.16 passes CreateSession's options on, and later versions drop the unknown one.
    callWithRequest(QStringLiteral("CreateSession"), {},
                    {{QStringLiteral("session_handle_token"), QString::fromLatin1(sessionToken)},
                     {QStringLiteral("shortcuts"), QVariant::fromValue(requestedShortcuts())}});
}

void PortalHotKey::bindShortcuts()
{
    m_step = Step::bindShortcuts;
    callWithRequest(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_sessionPath)), QVariant::fromValue(requestedShortcuts()), QString()},
        {});
}

void PortalHotKey::callWithRequest(const QString& method, QList<QVariant> arguments, QVariantMap options)
{
    const QString token = QStringLiteral("kestrelpoint%1").arg(++m_tokenCounter);
    options.insert(QStringLiteral("handle_token"), token);
    followRequest(objectPathFor(QStringLiteral("request"), m_bus.baseService(), token));

    QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    arguments.append(options);
    message.setArguments(arguments);
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(message, answerTimeoutMs), this);
    const Step step = m_step;
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, step](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (m_step != step)
            return;
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isError()) {
            fail(describe(reply.error()));
            return;
        }
        // A portal older than the handle_token convention names its own Request object.
        if (reply.value().path() != m_requestPath)
            followRequest(reply.value().path());
    });
    m_deadline.start();
}

void PortalHotKey::followRequest(const QString& path)
{
    if (!m_requestPath.isEmpty())
        m_bus.disconnect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
                         SLOT(handleResponse(uint, QVariantMap)));
    m_requestPath = path;
    m_bus.connect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
                  SLOT(handleResponse(uint, QVariantMap)));
}

void PortalHotKey::handleResponse(uint code, const QVariantMap& results)
{
    m_deadline.stop();
    m_bus.disconnect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
                     SLOT(handleResponse(uint, QVariantMap)));
    m_requestPath.clear();
    const bool creating = m_step == Step::createSession;
    if (!creating && m_step != Step::bindShortcuts)
        return;
    if (code == 1) {
        fail(creating ? "the desktop declined the shortcut session" : "the desktop declined the shortcut");
        return;
    }
    if (code != 0) {
        fail(creating ? "the desktop could not open a shortcut session" : "the desktop could not bind the shortcut");
        return;
    }
    if (creating)
        sessionCreated(results);
    else
        shortcutsBound(results);
}

void PortalHotKey::sessionCreated(const QVariantMap& results)
{
    m_sessionPath = sessionHandleOf(results);
    if (m_sessionPath.isEmpty()) {
        fail("the portal created no session");
        return;
    }
    m_bus.connect(portalService, m_sessionPath, sessionInterface, QStringLiteral("Closed"), this,
                  SLOT(handleSessionClosed(QVariantMap)));
    // Subscribed before binding, so a press right after the bind is not missed.
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bindShortcuts();
}

void PortalHotKey::shortcutsBound(const QVariantMap& results)
{
    // A shortcut the desktop leaves out of the answer was not bound; one it lists without a key (the
    // user removed it in Plasma's settings, which keep that choice) gives no key either.
    if (!bindsToggle(shortcutsOf(results), m_keyNamed)) {
        fail("the desktop bound no key to the shortcut: give \"" + std::string(toggleDescription)
             + "\" a key in System Settings → Shortcuts");
        return;
    }
    m_step = Step::bound;
}

void PortalHotKey::handleActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                   const QVariantMap&)
{
    // The portal's time stamp is not X server time: the window is shown with X's CurrentTime. Plasma 5.27
    // binds the key at CreateSession, so a press may come before BindShortcuts is answered.
    const bool sessionOpen = m_step == Step::bindShortcuts || m_step == Step::bound;
    if (sessionOpen && session.path() == m_sessionPath && shortcutId == toggleId)
        m_events.pressed(0);
}

void PortalHotKey::handleSessionClosed(const QVariantMap&)
{
    m_sessionPath.clear(); // closed by the desktop: nothing left to close
    fail("the desktop closed the shortcut session");
}

void PortalHotKey::handleOwnerChanged(const QString&, const QString& oldOwner, const QString&)
{
    // A first owner appearing is the portal being started for our call; any other change loses the session.
    if (!oldOwner.isEmpty() && m_step != Step::failed) {
        m_sessionPath.clear();
        fail("the portal left the session bus");
    }
}

void PortalHotKey::fail(const std::string& reason)
{
    if (m_step == Step::failed)
        return;
    stop();
    m_events.failed(reason);
}

void PortalHotKey::stop()
{
    m_step = Step::failed;
    m_deadline.stop();
    if (!m_requestPath.isEmpty())
        m_bus.disconnect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
                         SLOT(handleResponse(uint, QVariantMap)));
    if (!m_sessionPath.isEmpty())
        m_bus.disconnect(portalService, m_sessionPath, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(handleSessionClosed(QVariantMap)));
    closeSession();
    m_bus.disconnect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                     SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    if (m_ownerWatcher)
        m_ownerWatcher->disconnect(this);
}

void PortalHotKey::closeSession()
{
    if (m_sessionPath.isEmpty() || !m_bus.isConnected())
        return;
    m_bus.send(QDBusMessage::createMethodCall(portalService, m_sessionPath, sessionInterface, QStringLiteral("Close")));
    m_sessionPath.clear();
}

} // namespace kestrel
