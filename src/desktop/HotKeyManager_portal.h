#pragma once

#include "desktop/DesktopSession.h"
#include "desktop/HotKeyBackend.h"

#include <QDBusConnection>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <string>

class QDBusMessage;
class QDBusObjectPath;
class QDBusServiceWatcher;

namespace kestrel {

/// The GlobalShortcuts portal backend of the hot key (org.freedesktop.portal.GlobalShortcuts, version 1 and
/// later, on the session bus): creates a session, binds the one shortcut `toggle` (the key table's preferred
/// trigger) and reports a press for each Activated signal of that session.
///
/// The session's handle token is the same on every start (`sessionToken`): KDE Plasma names the shortcut's
/// entry in System Settings → Shortcuts after it, so a restarted launcher finds its own entry, with the key
/// Plasma gave it or the one the user chose there, instead of a new entry whose key the old one still holds.
///
/// Every D-Bus call is asynchronous; every answer the portal owes (a method reply, a Request's Response) has
/// to come within `answerTimeoutMs`. The first failure — the desktop declines or does not bind the shortcut,
/// binds it no key, an error reply, no answer in time, the session closed by the desktop, or the portal's
/// name changing owner — stops the backend and reports `failed` exactly once. Main thread only.
class PortalHotKey : public QObject, public HotKeyBackend {
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 5000;
    /// The session handle token: also the name of the launcher's entry in Plasma's shortcut settings.
    static constexpr const char* sessionToken = "kestrelpoint";
    /// The shortcut's description, which the desktop shows beside its key.
    static constexpr const char* toggleDescription = "Show or hide Kestrelpoint";

    /// One entry of the portal's a(sa{sv}) shortcut lists: the shortcut's id and its details
    /// (description, preferred_trigger when asking; description, trigger_description in answers).
    struct Shortcut {
        QString id;
        QVariantMap details;
    };
    using ShortcutList = QList<Shortcut>;

    /// Whether a portal's answer (the shortcuts it bound) gives the launcher its key: the answer lists
    /// `toggle`, and when `keyNamed` (the desktop names the key it bound to each shortcut) with a non-empty
    /// trigger_description. Plasma lists a shortcut the user has taken the key from with an empty one.
    static bool bindsToggle(const ShortcutList& answer, bool keyNamed);

    /// Whether the desktop's portal names in each bound shortcut's trigger_description the key it gave it,
    /// so that an empty one means no key: KDE Plasma's does; Hyprland's leaves it empty and takes the key
    /// from the compositor's configuration.
    static bool namesBoundKeys(const DesktopSession& session);

    /// Whether the session bus's portal offers the GlobalShortcuts interface, asked synchronously (at most
    /// `answerTimeoutMs`), and why not.
    struct Offer {
        bool offered = false;
        /// In the words of the stderr line; "" when offered.
        std::string absence;
    };
    static Offer probe();

    /// `keyNamed`: as `namesBoundKeys` says of the session.
    explicit PortalHotKey(bool keyNamed);
    /// Closes the portal session, when one is open, without waiting for an answer.
    ~PortalHotKey() override;
    PortalHotKey(const PortalHotKey&) = delete;
    PortalHotKey& operator=(const PortalHotKey&) = delete;

    /// Starts the negotiation and returns at once. `failed` may be reported before this returns (no
    /// session bus).
    void start(Events events) override;

    /// The object path of the Request (or Session) object that the portal creates for `token` of the caller
    /// with the unique bus name `uniqueName` (":1.42" → ".../1_42/TOKEN").
    static QString objectPathFor(const QString& kind, const QString& uniqueName, const QString& token);

private Q_SLOTS:
    void handleResponse(uint code, const QVariantMap& results);
    void handleActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                         const QVariantMap& options);
    void handleSessionClosed(const QVariantMap& details);
    void handleOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    enum class Step { idle, createSession, bindShortcuts, bound, failed };

    void createSession();
    void bindShortcuts();
    void sessionCreated(const QVariantMap& results);
    void shortcutsBound(const QVariantMap& results);
    /// Sends a method call whose Response arrives on a Request object made for a fresh handle token; the
    /// Response signal is subscribed to before the call goes out.
    void callWithRequest(const QString& method, QList<QVariant> arguments, QVariantMap options);
    /// The shortcuts asked for: `toggle` with its description and the key table's preferred trigger.
    static ShortcutList requestedShortcuts();
    void followRequest(const QString& path);
    void fail(const std::string& reason);
    /// Stops listening and closes the session; later signals are ignored.
    void stop();
    void closeSession();

    Events m_events;
    bool m_keyNamed;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_ownerWatcher = nullptr;
    QTimer m_deadline;
    Step m_step = Step::idle;
    QString m_requestPath;
    QString m_sessionPath;
    unsigned m_tokenCounter = 0;
};

} // namespace kestrel

Q_DECLARE_METATYPE(kestrel::PortalHotKey::Shortcut)
