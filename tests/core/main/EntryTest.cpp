#include "main/EntryProgram.h"
#include "main/InstanceClaim.h"
#include "main/ToggleMessage.h"
#include "support/CatalogFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using test::TempTree;

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(ToggleMessage, LineCarriesOnlySafeValuesAndReadsBackUnchanged)
{
    const std::string longest(ToggleMessage::maxValueLength, 'x');
    const std::string tooLong = longest + "x";
    struct Case { const char* startupId; const char* token; std::string line; } cases[] = {
        {nullptr, nullptr, "toggle\n"}, {"", "", "toggle\n"},
        {"gnome-shell/Terminal/3090-0-host_TIME4711", nullptr,
         "toggle DESKTOP_STARTUP_ID=gnome-shell/Terminal/3090-0-host_TIME4711\n"},
        {nullptr, "a1b2=c3", "toggle XDG_ACTIVATION_TOKEN=a1b2=c3\n"},
        {"id", longest.c_str(), "toggle DESKTOP_STARTUP_ID=id XDG_ACTIVATION_TOKEN=" + longest + "\n"},
        // Unsafe values are dropped whole, never shortened or escaped.
        {"with space", "new\nline", "toggle\n"}, {"caf\xc3\xa9", tooLong.c_str(), "toggle\n"},
        {"tab\there", "\x7f", "toggle\n"},
    };
    for (const Case& c : cases) {
        const ToggleMessage message = ToggleMessage::fromValues(c.startupId, c.token);
        EXPECT_EQ(message.line(), c.line) << c.line;
        EXPECT_EQ(ToggleMessage::parse(message.line()), message) << c.line;
    }
}

TEST(ToggleMessage, AnyOtherLineIsRejected)
{
    const std::string value(ToggleMessage::maxValueLength + 1, 'v');
    const std::string tooLong = "toggle DESKTOP_STARTUP_ID=" + std::string(ToggleMessage::maxLineLength, 'v') + "\n";
    const std::vector<std::string> lines{
        "", "toggle", "\n", "TOGGLE\n", "toggle \n", " toggle\n", "togglex\n", "toggle\r\n", "show\ntoggle\n",
        "toggle\ntoggle\n", "toggle DESKTOP_STARTUP_ID\n", "toggle DESKTOP_STARTUP_ID=\n",
        "toggle DESKTOP_STARTUP_ID=a  XDG_ACTIVATION_TOKEN=b\n", "toggle DESKTOP_STARTUP_ID=a \n",
        "toggle DESKTOP_STARTUP_ID=a DESKTOP_STARTUP_ID=b\n", "toggle HOME=/root\n",
        "toggle XDG_ACTIVATION_TOKEN=caf\xc3\xa9\n", "toggle XDG_ACTIVATION_TOKEN=" + value + "\n", tooLong,
        std::string("toggle\0\n", 8)};
    for (const std::string& line : lines)
        EXPECT_EQ(ToggleMessage::parse(line), std::nullopt) << line;
}

TEST(ToggleMessage, StartupTimeComesFromTheTimeSuffix)
{
    const struct { const char* startupId; std::uint32_t time; } cases[] = {
        {"host-1234-0_TIME5678", 5678}, {"a_TIME1_TIME4294967295", 4294967295u}, // the last suffix counts
        {"host_TIME4294967296", 0}, {"host_TIME99999999999", 0}, // beyond 32 bits, by value and by length
        {"host_TIME", 0}, {"host_TIME12x", 0}, {"host_time12", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        ToggleMessage message;
        message.startupId = c.startupId;
        EXPECT_EQ(message.startupTime(), c.time) << c.startupId;
    }
}

TEST(InstanceClaim, DirectoryIsPrivateToTheUser)
{
    TempTree scratch;
    const std::string base = scratch.root(), run = base + "/run", open = base + "/open";
    const std::string fallback = base + "/kestrelpoint-" + std::to_string(::getuid());
    ::mkdir(run.c_str(), 0700);
    ::mkdir(open.c_str(), 0700);
    ::chmod(open.c_str(), 0755);
    EXPECT_EQ(InstanceClaim::directoryFor(run.c_str(), base), run);
    for (const char* unusable : {open.c_str(), "run", static_cast<const char*>(nullptr)}) {
        ::chmod(fallback.c_str(), 0777); // a fallback left open (by an earlier case) is made private again
        EXPECT_EQ(InstanceClaim::directoryFor(unusable, base), fallback) << (unusable ? unusable : "unset");
        EXPECT_EQ(modeOf(fallback) & 07777, 0700u);
    }
    ::rmdir(fallback.c_str());
    ::symlink(run.c_str(), fallback.c_str());
    EXPECT_EQ(InstanceClaim::directoryFor(nullptr, base), std::nullopt) << "followed a symbolic link";
}

TEST(InstanceClaim, HandOverKeepsTheLockAndQueuesTogglesUntilAccepted)
{
    TempTree directory;
    std::optional<InstanceClaim> first(std::in_place, directory.root());
    ASSERT_EQ(first->claim(), InstanceClaim::Role::primary);
    ::symlink("/nonexistent", first->socketPath().c_str()); // stale: replaced
    ASSERT_TRUE(first->listen());
    EXPECT_EQ(modeOf(first->socketPath()) & 077, 0u);
    EXPECT_EQ(modeOf(first->lockPath()) & 077, 0u);

    const std::string value = first->handOver();
    first.reset(); // what an exec leaves behind: the descriptors, no object
    const std::optional<InstanceClaim::Descriptors> adopted = InstanceClaim::adopt(value);
    ASSERT_TRUE(adopted) << value;
    const auto closesOnExec = [](int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; };
    EXPECT_TRUE(closesOnExec(adopted->lock) && closesOnExec(adopted->listening)) << "launched programs inherit them";

    InstanceClaim second(directory.root());
    EXPECT_EQ(second.claim(), InstanceClaim::Role::secondary);
    const std::string line = ToggleMessage::fromValues("id_TIME7", nullptr).line();
    ASSERT_TRUE(second.send(line, 0)) << "the toggle waits in the queue before anyone accepts";
    const int connection = ::accept(adopted->listening, nullptr, nullptr);
    ASSERT_GE(connection, 0);
    char received[64] = {};
    EXPECT_EQ(::recv(connection, received, sizeof(received) - 1, MSG_WAITALL), static_cast<ssize_t>(line.size()));
    EXPECT_EQ(received, line);
    ::close(connection);

    ::close(adopted->listening);
    ::close(adopted->lock);
    InstanceClaim third(directory.root());
    EXPECT_EQ(third.claim(), InstanceClaim::Role::primary) << "the lock goes with the last descriptor";
    EXPECT_FALSE(third.send(line, 0)) << "nobody listens any more";
}

TEST(InstanceClaim, AdoptRejectsWhatTheEntryDidNotHandOver)
{
    TempTree directory;
    const int file = ::open((directory.root() + "/file").c_str(), O_RDWR | O_CREAT, 0600);
    const int unbound = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const int other = ::open((directory.root() + "/other").c_str(), O_RDWR | O_CREAT, 0600);
    const int lockedElsewhere = ::open((directory.root() + "/other").c_str(), O_RDWR);
    ASSERT_EQ(::flock(lockedElsewhere, LOCK_EX), 0);
    InstanceClaim claim(directory.root());
    ASSERT_EQ(claim.claim(), InstanceClaim::Role::primary);
    ASSERT_TRUE(claim.listen());
    const std::string good = claim.handOver();
    const std::string listening = good.substr(good.find(',') + 1);
    const std::string f = std::to_string(file);
    const std::vector<std::string> values{
        "", "none", f, f + ",", "," + listening, f + "," + f, f + "," + listening + "x", f + ",-" + listening,
        "1," + listening, f + "," + std::to_string(unbound), f + ",999", std::to_string(other) + "," + listening};
    for (const std::string& value : values)
        EXPECT_EQ(InstanceClaim::adopt(value), std::nullopt) << value;
    EXPECT_TRUE(InstanceClaim::adopt(good));
}

TEST(EntryProgram, ResidentIsLookedForInstalledThenInTheBuildTree)
{
    EXPECT_EQ(EntryProgram::residentCandidates("/usr/bin/kestrelpoint", "../libexec/kestrelpoint"),
              (std::vector<std::string>{"/usr/bin/../libexec/kestrelpoint/kestrelpoint-resident",
                                        "/usr/bin/kestrelpoint-resident"}));
    EXPECT_EQ(EntryProgram::residentCandidates("", "../libexec/kestrelpoint"), std::vector<std::string>{});
}

} // namespace
} // namespace kestrel
