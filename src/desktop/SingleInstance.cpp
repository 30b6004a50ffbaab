#include "desktop/SingleInstance.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrel {

namespace {

/// A client that has not sent its line by then is dropped.
constexpr int clientTimeoutMs = 2000;

bool isOwnUser(int fd)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.uid == ::getuid();
}

/// The path a listening local socket is bound to; "" when `fd` is not one.
std::string boundPath(int fd)
{
    sockaddr_un address{};
    socklen_t length = sizeof(address);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sun_family != AF_UNIX)
        return {};
    int listening = 0;
    socklen_t optionLength = sizeof(listening);
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &optionLength) != 0 || !listening)
        return {};
    return std::string(address.sun_path, ::strnlen(address.sun_path, sizeof(address.sun_path)));
}

} // namespace

/// One accepted connection: what it has sent so far, and the notifier and deadline that watch it.
struct SingleInstance::Client {
    std::string received;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> deadline;
};

SingleInstance::SingleInstance(std::size_t maxLineLength)
    : m_maxLineLength(maxLineLength)
{
}

SingleInstance::~SingleInstance()
{
    while (!m_clients.empty())
        drop(m_clients.begin()->first);
    if (m_serverFd >= 0) {
        m_serverNotifier.reset();
        ::close(m_serverFd);
    }
    // The claim is still this process's: no other launcher can have bound the path meanwhile.
    if (!m_socketPath.empty())
        ::unlink(m_socketPath.c_str());
}

bool SingleInstance::listen(int listeningFd, LineHandler onLine)
{
    const std::string path = boundPath(listeningFd);
    if (path.empty() || m_serverFd >= 0)
        return false;
    // why: a plain socket rather than QLocalServer keeps Qt Network, and the Kerberos and proxy
    // libraries it brings, out of a process that stays resident all session.
    ::fcntl(listeningFd, F_SETFL, ::fcntl(listeningFd, F_GETFL) | O_NONBLOCK);
    m_serverFd = listeningFd;
    m_socketPath = path;
    m_onLine = std::move(onLine);
    m_serverNotifier = std::make_unique<QSocketNotifier>(listeningFd, QSocketNotifier::Read);
    connect(m_serverNotifier.get(), &QSocketNotifier::activated, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept()
{
    for (;;) {
        const int fd = ::accept4(m_serverFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: no more waiting; anything else: try again on the next notification
        }
        if (!isOwnUser(fd)) {
            ::close(fd);
            continue;
        }
        auto client = std::make_unique<Client>();
        client->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(client->notifier.get(), &QSocketNotifier::activated, this, [this, fd] { readFrom(fd); });
        client->deadline = std::make_unique<QTimer>();
        client->deadline->setSingleShot(true);
        connect(client->deadline.get(), &QTimer::timeout, this, [this, fd] { drop(fd); });
        client->deadline->start(clientTimeoutMs);
        m_clients.emplace(fd, std::move(client));
        readFrom(fd);
    }
}

void SingleInstance::readFrom(int fd)
{
    const auto found = m_clients.find(fd);
    if (found == m_clients.end())
        return;
    std::string& received = found->second->received;
    // Never more than one line is kept: a flood fills the kernel's buffer, not ours.
    char buffer[256];
    for (;;) {
        const std::size_t room = m_maxLineLength - std::min(received.size(), m_maxLineLength);
        if (room == 0)
            break;
        const ssize_t count = ::recv(fd, buffer, std::min(room, sizeof buffer), 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (count <= 0) { // the client went away, or the connection failed, before a whole line
            drop(fd);
            return;
        }
        received.append(buffer, static_cast<std::size_t>(count));
        if (received.find('\n') != std::string::npos)
            break;
    }
    const std::size_t end = received.find('\n');
    if (end == std::string::npos) {
        if (received.size() >= m_maxLineLength)
            drop(fd); // no newline within the longest line: not a message of ours
        return;
    }
    // One line per connection; the rest is not read.
    const std::string line = received.substr(0, end + 1);
    drop(fd);
    if (m_onLine)
        m_onLine(line);
}

void SingleInstance::drop(int fd)
{
    const auto found = m_clients.find(fd);
    if (found == m_clients.end())
        return;
    // why: the client's notifier or timer may be the sender of the signal that got here, so they are
    // deleted once control is back in the event loop; the descriptor is closed now.
    found->second->notifier->setEnabled(false);
    found->second->notifier.release()->deleteLater();
    found->second->deadline->stop();
    found->second->deadline.release()->deleteLater();
    m_clients.erase(found);
    ::close(fd);
}

} // namespace kestrel
