#pragma once

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace kestrel {

/// One launcher per user. The first process takes a lock file and listens on a local socket in a
/// directory private to the user; a later start finds the lock taken, sends the running launcher the
/// message "toggle\n" over the socket and exits. Any other message is ignored. The lock is released
/// by the kernel when its holder exits (also by a crash), and a socket file it leaves behind is removed
/// and taken over by the next launcher.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        /// This process holds the lock: it is the launcher and should `listen`.
        primary,
        /// Another launcher holds the lock: `sendToggle` and exit.
        secondary,
        /// The directory or the lock file is unusable: run without the single-instance toggle.
        unavailable,
    };

    /// The directory for the socket: `$XDG_RUNTIME_DIR` when it is an absolute path to a directory owned
    /// by this user with no access for others; otherwise /tmp/kestrelpoint-<uid>, created with mode
    /// 0700 (an existing one must be a real directory owned by this user; its mode is reset to 0700).
    /// Absent when neither is usable. Reads the environment; creates at most that one directory.
    static std::optional<std::string> defaultDirectory();
    /// The rule of `defaultDirectory` with its inputs given: `xdgRuntimeDir` (null when unset) and the
    /// directory in which the fallback is made.
    static std::optional<std::string> directoryFor(const char* xdgRuntimeDir, const std::string& fallbackParent);

    /// Uses `directory` (which must exist and be private to the user) for the lock and the socket.
    explicit SingleInstance(std::string directory);
    /// Stops listening and removes the socket file; the lock goes with the process (or this object).
    ~SingleInstance() override;

    /// Takes the lock without waiting; the role is kept for the life of this object.
    Role claim();

    /// As `primary`: removes a stale socket file, listens (socket accessible to this user only) and calls
    /// `onToggle` from the event loop for each "toggle\n" received. Returns false when listening fails.
    bool listen(std::function<void()> onToggle);

    /// As `secondary`: connects to the running launcher and sends "toggle\n", retrying for up to
    /// `timeoutMs` milliseconds while that launcher is still starting. Blocking; needs no event loop
    /// or application object. Returns true once the message is handed to the socket.
    bool sendToggle(int timeoutMs = 3000) const;

    std::string socketPath() const;
    std::string lockPath() const;

private:
    struct Client;

    void accept();
    void readFrom(int fd);
    void drop(int fd);

    std::string m_directory;
    int m_lockFd = -1;
    int m_serverFd = -1;
    std::unique_ptr<QSocketNotifier> m_serverNotifier;
    /// The connections whose line has not arrived yet, by descriptor.
    std::map<int, std::unique_ptr<Client>> m_clients;
    std::function<void()> m_onToggle;
};

} // namespace kestrel
