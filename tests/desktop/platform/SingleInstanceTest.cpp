#include "desktop/SingleInstance.h"

#include "PlatformFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

using Role = SingleInstance::Role;

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

/// Connects to `path` and sends `bytes` as they are, then closes.
bool sendRaw(const std::string& path, const std::string& bytes)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    if (ok && !bytes.empty())
        ok = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

/// Leaves a socket file at `path` that nobody listens on, as a crashed launcher does.
void leaveStaleSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(exists(path));
}

class SingleInstanceTest : public ::testing::Test {
protected:
    std::string directory() const { return m_dir.path().toStdString(); }

private:
    QTemporaryDir m_dir;
};

enum class Setup { privateRuntime, openRuntime, missingRuntime, relativeRuntime, noRuntime, openFallback,
                   fallbackSymlink, fallbackFile };

struct DirectoryRow {
    const char* name;
    Setup setup;
    /// Expected choice: "run" (the runtime directory), "fallback", or "" for none.
    std::string expected;
};

TEST(SingleInstanceDirectory, IsPrivateToTheUser)
{
    const std::vector<DirectoryRow> rows{
        {"private runtime directory", Setup::privateRuntime, "run"},
        {"runtime directory open to others", Setup::openRuntime, "fallback"},
        {"runtime directory missing", Setup::missingRuntime, "fallback"},
        {"relative runtime directory", Setup::relativeRuntime, "fallback"},
        {"runtime directory unset", Setup::noRuntime, "fallback"},
        {"fallback left open by an earlier run", Setup::openFallback, "fallback"},
        {"fallback is a symbolic link", Setup::fallbackSymlink, ""},
        {"fallback is a file", Setup::fallbackFile, ""},
    };
    for (const DirectoryRow& row : rows) {
        QTemporaryDir scratch;
        const std::string base = scratch.path().toStdString();
        const std::string run = base + "/run";
        const std::string fallback = base + "/kestrelpoint-" + std::to_string(::getuid());
        std::string runtime = run;
        ::mkdir(run.c_str(), 0700);
        switch (row.setup) {
        case Setup::privateRuntime:
            break;
        case Setup::openRuntime:
            ::chmod(run.c_str(), 0755);
            break;
        case Setup::missingRuntime:
            runtime = base + "/missing";
            break;
        case Setup::relativeRuntime:
            runtime = "run";
            break;
        case Setup::noRuntime:
            runtime.clear();
            break;
        case Setup::openFallback:
            ::mkdir(fallback.c_str(), 0700);
            ::chmod(fallback.c_str(), 0777);
            runtime.clear();
            break;
        case Setup::fallbackSymlink:
            ::symlink(run.c_str(), fallback.c_str());
            runtime.clear();
            break;
        case Setup::fallbackFile:
            std::fclose(std::fopen(fallback.c_str(), "w"));
            runtime.clear();
            break;
        }
        const std::optional<std::string> chosen =
            SingleInstance::directoryFor(runtime.empty() ? nullptr : runtime.c_str(), base);
        if (row.expected.empty()) {
            EXPECT_FALSE(chosen.has_value()) << row.name;
            continue;
        }
        ASSERT_TRUE(chosen.has_value()) << row.name;
        EXPECT_EQ(*chosen, row.expected == "run" ? run : fallback) << row.name;
        EXPECT_EQ(modeOf(*chosen) & 07777, 0700u) << row.name;
    }
}

TEST_F(SingleInstanceTest, FirstClaimLeadsLaterOnesFollowUntilItEnds)
{
    auto first = std::make_unique<SingleInstance>(directory());
    EXPECT_EQ(first->claim(), Role::primary);
    SingleInstance second(directory());
    EXPECT_EQ(second.claim(), Role::secondary);

    first.reset();
    SingleInstance third(directory());
    EXPECT_EQ(third.claim(), Role::primary);
}

TEST_F(SingleInstanceTest, SecondStartTogglesTheRunningLauncher)
{
    SingleInstance primary(directory());
    ASSERT_EQ(primary.claim(), Role::primary);
    int toggles = 0;
    ASSERT_TRUE(primary.listen([&toggles] { ++toggles; }));

    SingleInstance secondary(directory());
    ASSERT_EQ(secondary.claim(), Role::secondary);
    EXPECT_TRUE(secondary.sendToggle());
    EXPECT_TRUE(test::processEventsUntil([&toggles] { return toggles == 1; }));

    EXPECT_TRUE(secondary.sendToggle());
    EXPECT_TRUE(test::processEventsUntil([&toggles] { return toggles == 2; }));
}

TEST_F(SingleInstanceTest, SocketAndLockArePrivateAndTheSocketGoesWithTheLauncher)
{
    std::string socket;
    {
        SingleInstance primary(directory());
        ASSERT_EQ(primary.claim(), Role::primary);
        ASSERT_TRUE(primary.listen([] {}));
        socket = primary.socketPath();
        EXPECT_TRUE(S_ISSOCK(modeOf(socket)));
        EXPECT_EQ(modeOf(socket) & 077, 0u);
        EXPECT_EQ(modeOf(primary.lockPath()) & 077, 0u);
    }
    EXPECT_FALSE(exists(socket));
}

TEST_F(SingleInstanceTest, AnythingButTheToggleMessageIsIgnored)
{
    SingleInstance primary(directory());
    ASSERT_EQ(primary.claim(), Role::primary);
    int toggles = 0;
    ASSERT_TRUE(primary.listen([&toggles] { ++toggles; }));

    const std::vector<std::string> garbage{
        "",           "toggle",         "TOGGLE\n",      " toggle\n", "toggle \n",
        "toggle\r\n", "togglex\n",      "show\n",        "\n",        std::string(200, 'a'),
        std::string("tog\0gle\n", 8),   std::string(100, 'a') + "\ntoggle\n",
    };
    for (const std::string& message : garbage)
        ASSERT_TRUE(sendRaw(primary.socketPath(), message));
    test::processEventsUntil([] { return false; }, 300);
    EXPECT_EQ(toggles, 0);

    // The launcher still answers a proper toggle afterwards.
    ASSERT_TRUE(sendRaw(primary.socketPath(), "toggle\n"));
    EXPECT_TRUE(test::processEventsUntil([&toggles] { return toggles == 1; }));
}

TEST_F(SingleInstanceTest, StaleSocketIsTakenOver)
{
    SingleInstance primary(directory());
    leaveStaleSocket(primary.socketPath());
    ASSERT_EQ(primary.claim(), Role::primary);
    int toggles = 0;
    ASSERT_TRUE(primary.listen([&toggles] { ++toggles; }));

    SingleInstance secondary(directory());
    ASSERT_EQ(secondary.claim(), Role::secondary);
    EXPECT_TRUE(secondary.sendToggle());
    EXPECT_TRUE(test::processEventsUntil([&toggles] { return toggles == 1; }));
}

TEST_F(SingleInstanceTest, ToggleWaitsForALauncherThatIsStillStarting)
{
    SingleInstance primary(directory());
    ASSERT_EQ(primary.claim(), Role::primary);
    SingleInstance secondary(directory());
    ASSERT_EQ(secondary.claim(), Role::secondary);

    std::future<bool> sent = std::async(std::launch::async, [&secondary] { return secondary.sendToggle(5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    int toggles = 0;
    ASSERT_TRUE(primary.listen([&toggles] { ++toggles; }));

    EXPECT_TRUE(test::processEventsUntil([&toggles] { return toggles == 1; }));
    EXPECT_TRUE(sent.get());
}

TEST_F(SingleInstanceTest, ToggleFailsWhenNobodyAnswers)
{
    SingleInstance holder(directory());
    ASSERT_EQ(holder.claim(), Role::primary); // holds the lock but never listens
    SingleInstance secondary(directory());
    ASSERT_EQ(secondary.claim(), Role::secondary);
    EXPECT_FALSE(secondary.sendToggle(100));
}

} // namespace
} // namespace kestrel
