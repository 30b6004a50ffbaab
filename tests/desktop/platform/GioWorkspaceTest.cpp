#include "desktop/GioWorkspace.h"

#include "desktop/SingleInstance.h"
#include "PlatformFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel {
namespace {

/// Whether a child of this process is a zombie, from /proc/<pid>/stat ("pid (comm) state ppid ...").
bool hasZombieChild()
{
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent == static_cast<long>(::getpid()) && state == 'Z')
            return true;
    }
    return false;
}

std::string readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

/// A folder whose name holds a space (no shell may split it) with a desktop entry whose program waits a
/// moment, then writes its open file descriptors and its environment next to `marker`.
class GioWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        marker = path("marker");
        const QString script = path("write env.sh");
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\nsleep 0.5\nls -l /proc/$$/fd > \"%1.fds\"\nenv > \"%1.part\"\n"
                                  "mv \"%1.part\" \"%1\"\n")
                       .arg(marker)
                       .toUtf8());
        file.close();
        ::chmod(script.toLocal8Bit().constData(), 0755);
        test::writeDesktopEntry(m_dir.path(), QStringLiteral("marker.desktop"), QStringLiteral("Marker"),
                                QStringLiteral("\"%1\"").arg(script));
    }

    QString path(const char* name) const { return m_dir.path() + QLatin1Char('/') + QLatin1String(name); }

    QString marker;

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/kestrel workspace XXXXXX")};
};

TEST_F(GioWorkspaceTest, LaunchesDetachedWithACleanEnvironment)
{
    ::setenv("DESKTOP_STARTUP_ID", "kestrelpoint-test_TIME42", 1);
    ::setenv("XDG_ACTIVATION_TOKEN", "kestrelpoint-test-token", 1);
    ::setenv("KESTREL_TEST_SENTINEL", "inherited", 1);
    // A program holding the launcher's lock would outlive a quit launcher and turn every later start
    // into a "second" one.
    QTemporaryDir runtime;
    SingleInstance instance(runtime.path().toStdString());
    ASSERT_EQ(instance.claim(), SingleInstance::Role::primary);

    GioWorkspace().openApplication(FileUrl::fromPath(path("marker.desktop").toStdString()));
    // The program sleeps before it writes: had the call waited for it, the marker would be there.
    EXPECT_FALSE(QFile::exists(marker));
    const bool launched = test::processEventsUntil([this] { return QFile::exists(marker); }, 10000);
    ::unsetenv("DESKTOP_STARTUP_ID");
    ::unsetenv("XDG_ACTIVATION_TOKEN");
    ::unsetenv("KESTREL_TEST_SENTINEL");
    ASSERT_TRUE(launched);

    const std::string environment = readAll(marker);
    EXPECT_NE(environment.find("KESTREL_TEST_SENTINEL=inherited"), std::string::npos) << environment;
    EXPECT_EQ(environment.find("kestrelpoint-test"), std::string::npos) << environment;
    const std::string descriptors = readAll(marker + QStringLiteral(".fds"));
    ASSERT_FALSE(descriptors.empty());
    EXPECT_EQ(descriptors.find(instance.lockPath()), std::string::npos) << descriptors;
    EXPECT_TRUE(test::processEventsUntil([] { return !hasZombieChild(); }, 5000));
}

TEST_F(GioWorkspaceTest, FailedLaunchesAreDroppedQuietly)
{
    test::writeDesktopEntry(QFileInfo(marker).path(), QStringLiteral("missing-program.desktop"),
                            QStringLiteral("Missing"), QStringLiteral("/nonexistent/kestrel-program"));
    QFile broken(path("broken.desktop"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("this is not a desktop entry\n");
    broken.close();

    GioWorkspace workspace;
    for (const char* target : {"missing-program.desktop", "broken.desktop", "no-such.desktop", "no-such-file"})
        workspace.openApplication(FileUrl::fromPath(path(target).toStdString()));
    workspace.openApplication(FileUrl::fromPath(""));
    test::processEventsUntil([] { return false; }, 500);
    EXPECT_FALSE(hasZombieChild());
}

} // namespace
} // namespace kestrel
