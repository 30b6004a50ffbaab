#include "desktop/SingleInstance.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace kestrel {

namespace {

constexpr char toggleMessage[] = "toggle\n";
/// Longest message read before a connection is dropped as garbage.
constexpr std::size_t maxMessage = 64;
/// A client that has not sent its line by then is dropped.
constexpr int clientTimeoutMs = 2000;

bool isOwnPrivateDirectory(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

bool addressFor(const std::string& path, sockaddr_un& address)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

/// One accepted connection: what it has sent so far, and the notifier and deadline that watch it.
struct SingleInstance::Client {
    std::string received;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> deadline;
};

std::optional<std::string> SingleInstance::defaultDirectory()
{
    return directoryFor(std::getenv("XDG_RUNTIME_DIR"), "/tmp");
}

std::optional<std::string> SingleInstance::directoryFor(const char* xdgRuntimeDir, const std::string& fallbackParent)
{
    if (xdgRuntimeDir && xdgRuntimeDir[0] == '/') {
        struct stat st {};
        if (::stat(xdgRuntimeDir, &st) == 0 && isOwnPrivateDirectory(st))
            return std::string(xdgRuntimeDir);
    }

    // why: /tmp is shared by every user, so an existing entry is trusted only when it is a directory of
    // ours and not a symbolic link planted by someone else.
    const std::string fallback = fallbackParent + "/kestrelpoint-" + std::to_string(::getuid());
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    struct stat st {};
    if (::lstat(fallback.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return std::nullopt;
    if ((st.st_mode & 07777) != 0700 && ::chmod(fallback.c_str(), 0700) != 0)
        return std::nullopt;
    return fallback;
}

SingleInstance::SingleInstance(std::string directory)
    : m_directory(std::move(directory))
{
}

SingleInstance::~SingleInstance()
{
    while (!m_clients.empty())
        drop(m_clients.begin()->first);
    if (m_serverFd >= 0) {
        m_serverNotifier.reset();
        ::close(m_serverFd);
        ::unlink(socketPath().c_str());
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string SingleInstance::socketPath() const
{
    return m_directory + "/kestrelpoint.socket";
}

std::string SingleInstance::lockPath() const
{
    return m_directory + "/kestrelpoint.lock";
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_lockFd >= 0)
        return Role::primary;
    const int fd = ::open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Role::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        return Role::primary;
    }
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? Role::secondary : Role::unavailable;
}

bool SingleInstance::listen(std::function<void()> onToggle)
{
    if (m_lockFd < 0 || m_serverFd >= 0)
        return false;
    sockaddr_un address{};
    const std::string path = socketPath();
    if (!addressFor(path, address))
        return false;
    // why: a plain socket rather than QLocalServer keeps Qt Network, and the Kerberos and proxy
    // libraries it brings, out of a process that stays resident all session.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // Holding the lock means no launcher answers on this socket: a file left there is stale.
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    m_serverFd = fd;
    m_onToggle = std::move(onToggle);
    m_serverNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
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
    char buffer[maxMessage + 1];
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (count <= 0) { // the client went away, or the connection failed, before a whole line
            drop(fd);
            return;
        }
        received.append(buffer, static_cast<std::size_t>(count));
        if (received.find('\n') != std::string::npos || received.size() > maxMessage)
            break;
    }
    const std::size_t end = received.find('\n');
    if (end == std::string::npos) {
        if (received.size() > maxMessage)
            drop(fd);
        return;
    }
    // Only the first line counts; the connection ends with it.
    const bool toggle = end <= maxMessage && received.compare(0, end + 1, toggleMessage) == 0;
    drop(fd);
    if (toggle && m_onToggle)
        m_onToggle();
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

bool SingleInstance::sendToggle(int timeoutMs) const
{
    sockaddr_un address{};
    if (!addressFor(socketPath(), address))
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            const char* data = toggleMessage;
            std::size_t left = sizeof(toggleMessage) - 1;
            while (left > 0) {
                const ssize_t sent = ::send(fd, data, left, MSG_NOSIGNAL);
                if (sent < 0 && errno == EINTR)
                    continue;
                if (sent <= 0)
                    break;
                data += sent;
                left -= static_cast<std::size_t>(sent);
            }
            ::close(fd);
            return left == 0;
        }
        const int error = errno;
        ::close(fd);
        // The launcher holding the lock may not be listening yet: it is still starting.
        const bool starting = error == ENOENT || error == ECONNREFUSED || error == EAGAIN || error == EINTR;
        if (!starting || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace kestrel
