#pragma once

#include <QObject>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

namespace kestrel {

/// The running launcher's end of the single-instance socket: accepts connections on a listening socket
/// that the entry bound, and reads one line from each. Only processes of this user are heard (their
/// credentials are checked on every connection); a connection is dropped when it sends more than the
/// longest line without a newline, or has not sent its line within two seconds, and after its first line.
/// Main thread only; needs an event loop.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    /// Called from the event loop with each line received, "\n" included.
    using LineHandler = std::function<void(const std::string& line)>;

    /// Reads lines of at most `maxLineLength` bytes, newline included.
    explicit SingleInstance(std::size_t maxLineLength);
    /// Stops listening, closes the connections still open and removes the socket file.
    ~SingleInstance() override;

    /// Takes over `listeningFd` (a listening local socket, bound to a path) and calls `onLine` for each
    /// line. Returns false (and closes nothing) when the descriptor is not a bound local socket.
    bool listen(int listeningFd, LineHandler onLine);

    /// The path of the socket being listened on; "" before `listen`.
    const std::string& socketPath() const { return m_socketPath; }

private:
    struct Client;

    void accept();
    void readFrom(int fd);
    void drop(int fd);

    std::size_t m_maxLineLength;
    int m_serverFd = -1;
    std::unique_ptr<QSocketNotifier> m_serverNotifier;
    /// The connections whose line has not arrived yet, by descriptor.
    std::map<int, std::unique_ptr<Client>> m_clients;
    std::string m_socketPath;
    LineHandler m_onLine;
};

} // namespace kestrel
