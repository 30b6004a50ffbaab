#include "main/InstanceClaim.h"
#include "main/ToggleMessage.h"
#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace kestrel {
namespace {

using test::TempTree;

mode_t modeOf(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// The values a second start was given become the line it sends (unsafe ones dropped whole, never shortened
// or escaped); the line reads back as the same message; the startup time is the last _TIME suffix when it
// fits in 32 bits. Every other line is rejected.
TEST(ToggleMessage, LineCarriesOnlySafeValuesReadsBackAndGivesTheStartupTime)
{
    const std::string longest(ToggleMessage::maxValueLength, 'x');
    const std::string tooLong = longest + "x";
    const std::string both = "toggle DESKTOP_STARTUP_ID=a_TIME1_TIME4294967295 XDG_ACTIVATION_TOKEN=" + longest + "\n";
    const struct {
        const char* startupId;
        const char* token;
        std::string line;
        std::uint32_t time;
    } cases[] = {
        {nullptr, nullptr, "toggle\n", 0},
        {"gnome-shell/3090-0-host_TIME4711", "", "toggle DESKTOP_STARTUP_ID=gnome-shell/3090-0-host_TIME4711\n", 4711},
        {nullptr, "a1b2=c3", "toggle XDG_ACTIVATION_TOKEN=a1b2=c3\n", 0},
        {"a_TIME1_TIME4294967295", longest.c_str(), both, 4294967295u},
        {"x_TIME4294967296", "with space", "toggle DESKTOP_STARTUP_ID=x_TIME4294967296\n", 0},
        {"x_TIME18446744073709551621", "new\nline", "toggle DESKTOP_STARTUP_ID=x_TIME18446744073709551621\n", 0},
        {"x_TIME12x", tooLong.c_str(), "toggle DESKTOP_STARTUP_ID=x_TIME12x\n", 0},
        {"caf\xc3\xa9", "\x7f", "toggle\n", 0},
    };
    for (const auto& c : cases) {
        const ToggleMessage message = ToggleMessage::fromValues(c.startupId, c.token);
        EXPECT_EQ(message.line(), c.line) << c.line;
        EXPECT_EQ(ToggleMessage::parse(message.line()), message) << c.line;
        EXPECT_EQ(message.startupTime(), c.time) << c.line;
    }
    // clang-format off
    const std::string rejected[] = {
        "", "toggle", "TOGGLE\n", "toggle\ntoggle\n", "toggle DESKTOP_STARTUP_ID\n", "toggle DESKTOP_STARTUP_ID=\n",
        "toggle DESKTOP_STARTUP_ID=a  XDG_ACTIVATION_TOKEN=b\n", "toggle DESKTOP_STARTUP_ID=a DESKTOP_STARTUP_ID=b\n",
        "toggle HOME=/root\n", "toggle XDG_ACTIVATION_TOKEN=caf\xc3\xa9\n",
        "toggle XDG_ACTIVATION_TOKEN=" + tooLong + "\n"};
    // clang-format on
    for (const std::string& line : rejected)
        EXPECT_EQ(ToggleMessage::parse(line), std::nullopt) << line;
}

TEST(InstanceClaim, DirectoryIsPrivateToTheUser)
{
    TempTree scratch;
    const std::string run = scratch.dir("run"), open = scratch.dir("open");
    const std::string fallback = scratch.path("kestrelpoint-" + std::to_string(::getuid()));
    ::chmod(run.c_str(), 0700);
    ::chmod(open.c_str(), 0755);
    EXPECT_EQ(InstanceClaim::directoryFor(run.c_str(), scratch.root()), run);
    for (const char* unusable : {open.c_str(), "run", static_cast<const char*>(nullptr)}) {
        ::chmod(fallback.c_str(), 0777); // a fallback left open (by an earlier case) is made private again
        EXPECT_EQ(InstanceClaim::directoryFor(unusable, scratch.root()), fallback) << (unusable ? unusable : "unset");
        EXPECT_EQ(modeOf(fallback) & 07777, 0700u);
    }
    ::rmdir(fallback.c_str());
    ASSERT_EQ(::symlink(run.c_str(), fallback.c_str()), 0);
    EXPECT_EQ(InstanceClaim::directoryFor(nullptr, scratch.root()), std::nullopt) << "followed a symbolic link";
}

// The first start listens (replacing a stale socket file) and hands the lock and the socket over an exec;
// a second start queues its toggle before anyone accepts; the lock goes with the last descriptor. Only
// what was handed over is adopted.
TEST(InstanceClaim, HandOverKeepsTheLockAndQueuesTogglesUntilAccepted)
{
    TempTree directory;
    const int file = ::open(directory.write("file").c_str(), O_RDWR);
    const int unbound = ::socket(AF_UNIX, SOCK_STREAM, 0);
    std::optional<InstanceClaim> first(std::in_place, directory.root());
    ASSERT_EQ(first->claim(), InstanceClaim::Role::primary);
    ASSERT_EQ(::symlink("/nonexistent", first->socketPath().c_str()), 0); // a stale socket file to replace
    ASSERT_TRUE(first->listen());
    EXPECT_EQ((modeOf(first->socketPath()) | modeOf(first->lockPath())) & 077, 0u);
    const int other = ::open(first->lockPath().c_str(), O_RDWR); // the lock file, its lock held through another open
    const std::string value = first->handOver();
    first.reset(); // what an exec leaves behind: the descriptors, no object
    const std::string listening = value.substr(value.find(',') + 1), f = std::to_string(file);
    for (const std::string& wrong :
         {std::string("none"), f + "," + listening + "x", "1," + listening, f + "," + f,
          f + "," + std::to_string(unbound), f + ",999", std::to_string(other) + "," + listening})
        EXPECT_EQ(InstanceClaim::adopt(wrong), std::nullopt) << wrong;
    const std::optional<InstanceClaim::Descriptors> adopted = InstanceClaim::adopt(value);
    ASSERT_TRUE(adopted) << value;
    const auto closesOnExec = [](int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; };
    EXPECT_TRUE(closesOnExec(adopted->lock) && closesOnExec(adopted->listening)) << "launched programs inherit them";

    InstanceClaim second(directory.root());
    EXPECT_EQ(second.claim(), InstanceClaim::Role::secondary);
    ASSERT_TRUE(second.send("toggle\n", 0));
    const int connection = ::accept(adopted->listening, nullptr, nullptr);
    char received[16] = {};
    EXPECT_EQ(::recv(connection, received, sizeof(received) - 1, MSG_WAITALL), 7);
    EXPECT_STREQ(received, "toggle\n");
    for (const int fd : {connection, adopted->listening, adopted->lock})
        ::close(fd);
    InstanceClaim third(directory.root());
    EXPECT_EQ(third.claim(), InstanceClaim::Role::primary);
    EXPECT_FALSE(third.send("toggle\n", 0)) << "nobody listens any more";
}

} // namespace
} // namespace kestrel
