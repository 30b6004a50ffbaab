#pragma once

#include "desktop/HotKeyManager.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <string>

class QDBusMessage;
class QDBusObjectPath;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace kestrel {

/// The GlobalShortcuts portal backend of `HotKeyManager` (org.freedesktop.portal.GlobalShortcuts, version 1
/// and later, on the session bus): checks that the portal offers the interface, creates a session, binds the
/// one shortcut `toggle` (preferred trigger Ctrl+Space) and calls the manager's press for each Activated
/// signal of that session.
///
/// Every D-Bus call is asynchronous; every answer the portal owes (a method reply, a Request's Response) has
/// to come within `answerTimeoutMs`. The first failure — the interface is missing, the desktop declines or
/// does not bind the shortcut, an error reply, no answer in time, the session closed by the desktop, or the
/// portal's name changing owner — stops the backend and calls `onFailure` exactly once with a short reason
/// (lower case, no trailing period). `onFailure` may release the backend with `deleteLater()`, never
/// delete it directly. Main thread only; lives inside its manager.
class HotKeyManager::PortalBackend : public QObject {
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 5000;

    PortalBackend(HotKeyManager& owner, std::function<void(const std::string& reason)> onFailure);
    /// Closes the portal session, when one is open, without waiting for an answer.
    ~PortalBackend() override;
    PortalBackend(const PortalBackend&) = delete;
    PortalBackend& operator=(const PortalBackend&) = delete;

    /// Starts the negotiation and returns at once. `onFailure` may run before this returns (no session bus).
    void start();

    /// Stops listening and closes the session without calling `onFailure`; later signals are ignored.
    /// Used before the backend is released.
    void stop();

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
    enum class Step { idle, version, createSession, bindShortcuts, bound, failed };

    void checkVersion(QDBusPendingCallWatcher* call);
    void createSession();
    void bindShortcuts();
    void sessionCreated(const QVariantMap& results);
    void shortcutsBound(const QVariantMap& results);
    /// Sends a method call whose Response arrives on a Request object made for a fresh handle token; the
    /// Response signal is subscribed to before the call goes out.
    void callWithRequest(const QString& method, QList<QVariant> arguments, QVariantMap options);
    void followRequest(const QString& path);
    void fail(const std::string& reason);
    void closeSession();

    HotKeyManager& m_owner;
    std::function<void(const std::string&)> m_onFailure;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_ownerWatcher = nullptr;
    QTimer m_deadline;
    Step m_step = Step::idle;
    QString m_requestPath;
    QString m_sessionPath;
    unsigned m_tokenCounter = 0;
};

} // namespace kestrel
