#include "desktop/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace kestrel {

namespace {

/// A client that has not sent its line by then is dropped.
constexpr int clientTimeoutMs = 2000;

bool isOwnUser(const QLocalSocket& socket)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    const int fd = static_cast<int>(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == ::getuid();
}

} // namespace

SingleInstance::SingleInstance(std::size_t maxLineLength)
    : m_maxLineLength(maxLineLength)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    m_server.reset();
    // The claim is still this process's: no other launcher can have bound the path meanwhile.
    if (!m_socketPath.empty())
        ::unlink(m_socketPath.c_str());
}

bool SingleInstance::listen(int listeningFd, LineHandler onLine)
{
    m_onLine = std::move(onLine);
    m_server = std::make_unique<QLocalServer>();
    if (!m_server->listen(static_cast<qintptr>(listeningFd))) {
        m_server.reset();
        return false;
    }
    m_socketPath = m_server->fullServerName().toStdString();
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!isOwnUser(*socket)) {
            socket->abort();
            continue;
        }
        // Qt buffers no more than one line and a byte: a flood fills the kernel's buffer, not ours.
        socket->setReadBufferSize(static_cast<qint64>(m_maxLineLength) + 1);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        QTimer::singleShot(clientTimeoutMs, socket, [socket] { socket->abort(); });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= static_cast<qint64>(m_maxLineLength))
            socket->abort(); // no newline within the longest line: not a message of ours
        return;
    }
    const QByteArray line = socket->readLine(static_cast<qint64>(m_maxLineLength) + 1);
    socket->abort(); // one line per connection; the rest is not read
    if (m_onLine && line.endsWith('\n'))
        m_onLine(line.toStdString());
}

} // namespace kestrel
