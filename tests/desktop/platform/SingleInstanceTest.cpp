#include "desktop/SingleInstance.h"

#include "main/ToggleMessage.h"
#include "support/CatalogFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace kestrel {
namespace {

/// The running launcher's end of the socket (bound and listening, as the entry hands it over), recording
/// every line the listener delivers.
class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_address.sun_family = AF_UNIX;
        std::strncpy(m_address.sun_path, m_tree.path("socket").c_str(), sizeof(m_address.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_TRUE(::bind(fd, address(), sizeof(m_address)) == 0 && ::listen(fd, 16) == 0
                    && m_listener.listen(fd, [this](const std::string& line) { m_lines.push_back(line); }));
    }
    const sockaddr* address() const { return reinterpret_cast<const sockaddr*>(&m_address); }
    /// A client that connects and writes `data` without waiting for anything; returns its descriptor.
    int connectAndWrite(const std::string& data) const
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, address(), sizeof(m_address)) != 0)
            return -1;
        ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        return fd;
    }

    const test::TempTree m_tree;
    sockaddr_un m_address{};
    SingleInstance m_listener{ToggleMessage::maxLineLength};
    std::vector<std::string> m_lines;
};

TEST_F(SingleInstanceTest, HearsOneWholeLinePerClientAndStaysResponsiveToFloodsAndStalledClients)
{
    // A writer that keeps sending without a newline, as fast as the socket takes it: dropped for its length,
    // well before the two seconds after which any client is dropped.
    const int flood = connectAndWrite({});
    const std::string chunk(64 * 1024, 'x');
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ::send(flood, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN; },
        1500));
    const std::vector<int> clients = {
        flood,
        connectAndWrite("toggle"),         // no newline yet, left open: a stalled client
        connectAndWrite("show\ntoggle\n"), // only its first line is read
        connectAndWrite("toggle DESKTOP_STARTUP_ID=" + std::string(2000, 'a') + "\n"), // over the cap
    };
    const std::string toggle = ToggleMessage::fromValues("launch_TIME42", "token-1").line(); // a second start
    ::close(connectAndWrite(toggle));
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_lines.size() >= 2; }, 30000));
    ::send(clients[2], "toggle\n", 7, MSG_NOSIGNAL); // a second line, on a connection that had its line
    // Every client's end sees the listener hang up once it has dropped the connection: by then nothing more
    // can be heard from it.
    for (const int fd : clients)
        ::shutdown(fd, SHUT_WR);
    EXPECT_TRUE(QTest::qWaitFor(
        [&clients] {
            return std::ranges::all_of(clients, [](int fd) {
                pollfd end{fd, 0, 0};
                return ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
            });
        },
        30000));
    for (const int fd : clients)
        ::close(fd);
    const std::multiset<std::string> heard(m_lines.begin(), m_lines.end());
    EXPECT_EQ(heard, (std::multiset<std::string>{"show\n", toggle}));
}

TEST_F(SingleInstanceTest, OtherUsersAreNotHeardEvenWhenTheyReachTheSocket)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    // Open the way that the private directory normally shuts, to reach the credential check.
    ::chmod(m_tree.root().c_str(), 0755);
    ::chmod(m_address.sun_path, 0777);
    const pid_t child = ::fork();
    if (child == 0) // system calls only: the parent has threads
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && connectAndWrite("toggle\n") >= 0 ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other user could not connect at all";
    // Connections are taken in the order they came: once this user's later toggle is heard, the other
    // user's connection has been taken and judged.
    const std::string own = ToggleMessage::fromValues("launch_TIME7", "token-2").line();
    ::close(connectAndWrite(own));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !m_lines.empty(); }, 30000)) << "this user's toggle is heard";
    EXPECT_EQ(m_lines, std::vector<std::string>{own});
}

} // namespace
} // namespace kestrel
