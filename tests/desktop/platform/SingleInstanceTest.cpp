#include "desktop/SingleInstance.h"

#include "main/InstanceClaim.h"
#include "main/ToggleMessage.h"

#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

/// The running launcher's side as the resident program sets it up: the entry's claim handed over to the
/// listener, each line read as a toggle message.
class RunningLauncher {
public:
    explicit RunningLauncher(const std::string& directory)
        : m_claim(directory)
    {
        if (m_claim.claim() != InstanceClaim::Role::primary || !m_claim.listen())
            return;
        const std::optional<InstanceClaim::Descriptors> adopted = InstanceClaim::adopt(m_claim.handOver());
        if (adopted && m_listener.listen(adopted->listening, [this](const std::string& line) {
                if (const std::optional<ToggleMessage> message = ToggleMessage::parse(line))
                    received.push_back(*message);
            }))
            m_lockFd = adopted->lock;
    }
    ~RunningLauncher()
    {
        if (m_lockFd >= 0)
            ::close(m_lockFd);
    }
    bool isListening() const { return m_lockFd >= 0; }
    std::string socketPath() const { return m_claim.socketPath(); }

    std::vector<ToggleMessage> received;

private:
    InstanceClaim m_claim;
    SingleInstance m_listener{ToggleMessage::maxLineLength};
    int m_lockFd = -1;
};

sockaddr_un addressOf(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

/// A client that connects and writes `data` (when not empty) without waiting for anything.
int connectAndWrite(const std::string& path, const std::string& data)
{
    const sockaddr_un address = addressOf(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return -1;
    if (!data.empty())
        ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    return fd;
}

bool sendToggle(const std::string& directory, const char* startupId)
{
    InstanceClaim second(directory);
    return second.claim() == InstanceClaim::Role::secondary &&
           second.send(ToggleMessage::fromValues(startupId, "token-1").line());
}

TEST(SingleInstance, SecondStartTogglesTheLauncherAndAnyOtherMessageIsIgnored)
{
    QTemporaryDir directory;
    RunningLauncher launcher(directory.path().toStdString());
    ASSERT_TRUE(launcher.isListening());

    for (const std::string message : {"", "toggle", "TOGGLE\n", "toggle \n", "togglex\n", "show\ntoggle\n"}) {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(launcher.socketPath()));
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(message.data(), static_cast<qint64>(message.size()));
        socket.waitForBytesWritten(1000);
    }
    ASSERT_TRUE(sendToggle(directory.path().toStdString(), "launch_TIME42"));
    EXPECT_TRUE(QTest::qWaitFor([&launcher] { return !launcher.received.empty(); }));
    QTest::qWait(200);
    ASSERT_EQ(launcher.received.size(), 1u);
    EXPECT_EQ(launcher.received[0].startupId, "launch_TIME42");
    EXPECT_EQ(launcher.received[0].activationToken, "token-1");
}

TEST(SingleInstance, FloodsAndStalledClientsLeaveTheLauncherResponsive)
{
    QTemporaryDir directory;
    RunningLauncher launcher(directory.path().toStdString());
    ASSERT_TRUE(launcher.isListening());
    const std::string path = launcher.socketPath();

    // Ten megabytes without a newline, from a writer that blocks whenever the socket is full.
    std::atomic<bool> floodDropped = false;
    std::thread flood([path, &floodDropped] {
        const int fd = connectAndWrite(path, {});
        const std::string chunk(64 * 1024, 'x');
        for (int sent = 0; fd >= 0 && sent < 160; ++sent) {
            if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) {
                floodDropped = true;
                break;
            }
        }
        ::close(fd);
    });
    std::vector<int> open;
    open.push_back(connectAndWrite(path, "togg"));                                // a partial line, left open
    open.push_back(connectAndWrite(path, {}));                                    // silent
    open.push_back(connectAndWrite(path, std::string("\0\xff\x01toggle\n", 10))); // binary garbage
    open.push_back(connectAndWrite(path, "toggle DESKTOP_STARTUP_ID=" + std::string(2000, 'a') + "\n"));
    ::close(connectAndWrite(path, "toggle"));                                      // no newline, then gone
    // Dropped for its length, well before the two seconds after which any client is dropped.
    EXPECT_TRUE(QTest::qWaitFor([&floodDropped] { return floodDropped.load(); }, 1500));
    ASSERT_TRUE(sendToggle(directory.path().toStdString(), nullptr));
    EXPECT_TRUE(QTest::qWaitFor([&launcher] { return !launcher.received.empty(); }, 3000));
    (void)QTest::qWaitFor([&floodDropped] { return floodDropped.load(); }, 3000); // the writer ends
    flood.join();
    for (const int fd : open)
        ::close(fd);
    QTest::qWait(100);
    EXPECT_EQ(launcher.received.size(), 1u);
}

TEST(SingleInstance, OtherUsersAreNotHeardEvenWhenTheyReachTheSocket)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    QTemporaryDir directory;
    RunningLauncher launcher(directory.path().toStdString());
    ASSERT_TRUE(launcher.isListening());
    // Open the way that the private directory normally shuts, to reach the credential check.
    ::chmod(directory.path().toLocal8Bit().constData(), 0755);
    ::chmod(launcher.socketPath().c_str(), 0777);
    const sockaddr_un address = addressOf(launcher.socketPath());
    const pid_t child = ::fork();
    if (child == 0) { // system calls only: the parent has threads
        static const char toggle[] = "toggle\n";
        const bool asNobody = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        const int fd = asNobody ? ::socket(AF_UNIX, SOCK_STREAM, 0) : -1;
        const bool sent = fd >= 0 &&
                          ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                          ::send(fd, toggle, sizeof(toggle) - 1, MSG_NOSIGNAL) == sizeof(toggle) - 1;
        ::_exit(sent ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other user could not connect at all";
    QTest::qWait(300);
    EXPECT_TRUE(launcher.received.empty());
    ASSERT_TRUE(sendToggle(directory.path().toStdString(), nullptr));
    EXPECT_TRUE(QTest::qWaitFor([&launcher] { return launcher.received.size() == 1; }));
}

} // namespace
} // namespace kestrel
