#include "desktop/SingleInstance.h"

#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace kestrel {
namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(SingleInstance, DirectoryIsPrivateToTheUser)
{
    QTemporaryDir scratch;
    const std::string base = scratch.path().toStdString(), run = base + "/run", open = base + "/open";
    const std::string fallback = base + "/kestrelpoint-" + std::to_string(::getuid());
    ::mkdir(run.c_str(), 0700);
    ::mkdir(open.c_str(), 0700);
    ::chmod(open.c_str(), 0755);
    EXPECT_EQ(SingleInstance::directoryFor(run.c_str(), base), run);
    for (const char* unusable : {open.c_str(), "run", static_cast<const char*>(nullptr)}) {
        ::chmod(fallback.c_str(), 0777); // a fallback left open (by an earlier case) is made private again
        EXPECT_EQ(SingleInstance::directoryFor(unusable, base), fallback) << (unusable ? unusable : "unset");
        EXPECT_EQ(modeOf(fallback) & 07777, 0700u);
    }
    ::rmdir(fallback.c_str());
    ::symlink(run.c_str(), fallback.c_str());
    EXPECT_EQ(SingleInstance::directoryFor(nullptr, base), std::nullopt) << "followed a symbolic link";
}

TEST(SingleInstance, SecondStartTogglesTheLauncherAndAnyOtherMessageIsIgnored)
{
    QTemporaryDir directory;
    SingleInstance primary(directory.path().toStdString());
    ASSERT_EQ(primary.claim(), SingleInstance::Role::primary);
    int toggles = 0;
    ASSERT_TRUE(primary.listen([&toggles] { ++toggles; }));
    EXPECT_EQ(modeOf(primary.socketPath()) & 077, 0u);
    EXPECT_EQ(modeOf(primary.lockPath()) & 077, 0u);

    for (const std::string message : {"", "toggle", "TOGGLE\n", "toggle \n", "togglex\n", "show\ntoggle\n"}) {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(primary.socketPath()));
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(message.data(), static_cast<qint64>(message.size()));
        socket.waitForBytesWritten(1000);
    }
    SingleInstance second(directory.path().toStdString());
    ASSERT_EQ(second.claim(), SingleInstance::Role::secondary);
    ASSERT_TRUE(second.sendToggle());
    EXPECT_TRUE(QTest::qWaitFor([&toggles] { return toggles > 0; }));
    QTest::qWait(200);
    EXPECT_EQ(toggles, 1);
}

} // namespace
} // namespace kestrel
