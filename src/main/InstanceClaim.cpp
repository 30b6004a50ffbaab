#include "main/InstanceClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace kestrel {

namespace {

/// Connections waiting to be accepted while the launcher starts or is busy.
constexpr int listenBacklog = 64;
constexpr char noClaim[] = "none";

bool isOwnPrivateDirectory(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

bool socketAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool sendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool setCloseOnExec(int fd, bool close)
{
    const int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && ::fcntl(fd, F_SETFD, close ? flags | FD_CLOEXEC : flags & ~FD_CLOEXEC) == 0;
}

/// why: a program started with a standard stream closed gets its first descriptors in 0 to 2, which the
/// resident program's own output would then reach; the lock stays with the duplicate.
bool moveAboveStandardStreams(int& fd)
{
    if (fd > STDERR_FILENO)
        return true;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0)
        return false;
    ::close(fd);
    fd = moved;
    return true;
}

std::optional<int> parseDescriptor(std::string_view text)
{
    int fd = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), fd);
    if (error != std::errc() || end != text.data() + text.size() || fd <= STDERR_FILENO)
        return std::nullopt;
    return fd;
}

bool isListeningLocalSocket(int fd)
{
    int value = 0;
    socklen_t length = sizeof(value);
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &value, &length) != 0 || value != AF_UNIX)
        return false;
    length = sizeof(value);
    return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &value, &length) == 0 && value == 1;
}

void pause20ms()
{
    const timespec interval{0, 20'000'000};
    ::nanosleep(&interval, nullptr);
}

} // namespace

std::optional<std::string> InstanceClaim::defaultDirectory()
{
    return directoryFor(std::getenv("XDG_RUNTIME_DIR"), "/tmp");
}

std::optional<std::string> InstanceClaim::directoryFor(const char* xdgRuntimeDir, const std::string& fallbackParent)
{
    if (xdgRuntimeDir && xdgRuntimeDir[0] == '/') {
        struct stat st { };
        if (::stat(xdgRuntimeDir, &st) == 0 && isOwnPrivateDirectory(st))
            return std::string(xdgRuntimeDir);
    }

    // why: /tmp is shared by every user, so an existing entry is trusted only when it is a directory of
    // ours and not a symbolic link planted by someone else.
    const std::string fallback = fallbackParent + "/kestrelpoint-" + std::to_string(::getuid());
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    struct stat st { };
    if (::lstat(fallback.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return std::nullopt;
    if ((st.st_mode & 07777) != 0700 && ::chmod(fallback.c_str(), 0700) != 0)
        return std::nullopt;
    return fallback;
}

InstanceClaim::InstanceClaim(std::string directory)
    : m_directory(std::move(directory))
{
}

InstanceClaim::~InstanceClaim()
{
    if (m_listeningFd >= 0)
        ::close(m_listeningFd);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string InstanceClaim::socketPath() const
{
    return m_directory + "/kestrelpoint.socket";
}

std::string InstanceClaim::lockPath() const
{
    return m_directory + "/kestrelpoint.lock";
}

InstanceClaim::Role InstanceClaim::claim()
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

bool InstanceClaim::listen()
{
    sockaddr_un address{};
    if (m_lockFd < 0 || m_listeningFd >= 0 || !socketAddress(socketPath(), address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Holding the lock means no launcher answers on this path: a file left there is stale.
    ::unlink(address.sun_path);
    const mode_t previousMask = ::umask(077);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::umask(previousMask);
    if (!bound || ::listen(fd, listenBacklog) != 0) {
        ::close(fd);
        return false;
    }
    m_listeningFd = fd;
    return true;
}

bool InstanceClaim::send(std::string_view line, int timeoutMs) const
{
    sockaddr_un address{};
    if (!socketAddress(socketPath(), address))
        return false;
    for (int waited = 0;; waited += 20) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            const bool sent = sendAll(fd, line);
            ::close(fd);
            return sent;
        }
        const int error = errno;
        ::close(fd);
        // The launcher holding the lock may not have bound its socket yet, or its queue is full.
        const bool starting = error == ENOENT || error == ECONNREFUSED || error == EAGAIN || error == EINTR;
        if (!starting || waited >= timeoutMs)
            return false;
        pause20ms();
    }
}

std::string InstanceClaim::handOver()
{
    if (m_lockFd < 0 || m_listeningFd < 0 || !moveAboveStandardStreams(m_lockFd)
        || !moveAboveStandardStreams(m_listeningFd) || !setCloseOnExec(m_lockFd, false)
        || !setCloseOnExec(m_listeningFd, false))
        return noClaim;
    const std::string value = std::to_string(m_lockFd) + "," + std::to_string(m_listeningFd);
    m_lockFd = -1;
    m_listeningFd = -1;
    return value;
}

std::optional<InstanceClaim::Descriptors> InstanceClaim::adopt(std::string_view value)
{
    const std::size_t comma = value.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const std::optional<int> lock = parseDescriptor(value.substr(0, comma));
    const std::optional<int> listening = parseDescriptor(value.substr(comma + 1));
    if (!lock || !listening || *lock == *listening)
        return std::nullopt;
    if (!setCloseOnExec(*lock, true) || !setCloseOnExec(*listening, true))
        return std::nullopt;
    // Locking again through the same open file keeps the lock; it fails when another process holds it.
    if (::flock(*lock, LOCK_EX | LOCK_NB) != 0 || !isListeningLocalSocket(*listening))
        return std::nullopt;
    return Descriptors{*lock, *listening};
}

} // namespace kestrel
