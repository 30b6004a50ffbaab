#include "desktop/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QString>
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
constexpr qint64 maxMessage = 64;
/// A client that has not sent its line by then is dropped.
constexpr int clientTimeoutMs = 2000;

bool isOwnPrivateDirectory(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

} // namespace

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
    if (m_server)
        m_server->close(); // also removes the socket file
    m_server.reset();
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
    if (m_lockFd < 0)
        return false;
    m_onToggle = std::move(onToggle);
    const QString path = QString::fromStdString(socketPath());
    // Holding the lock means no launcher answers on this socket: a file left there is stale.
    QLocalServer::removeServer(path);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(clientTimeoutMs, socket, [socket] { socket->abort(); });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxMessage)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(maxMessage);
    socket->disconnectFromServer();
    if (line == toggleMessage && m_onToggle)
        m_onToggle();
}

bool SingleInstance::sendToggle(int timeoutMs) const
{
    const std::string path = socketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

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
