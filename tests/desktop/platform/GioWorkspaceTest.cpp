#include "desktop/GioWorkspace.h"

#include "support/EnvironmentGuard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace kestrel {
namespace {

/// Whether a child of this process is a zombie ("pid (comm) state ppid ..." in /proc/<pid>/stat).
bool hasZombieChild()
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1].toLong() == ::getpid())
            return true;
    }
    return false;
}

TEST(GioWorkspace, LaunchesADesktopEntryWithoutTheLauncherOnlyVariables)
{
    // A space in the folder's name: no shell may split the entry's path. The program writes its
    // environment to the marker in one step.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kestrel workspace XXXXXX"));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    QFile entry(dir.filePath(QStringLiteral("marker.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Marker\n"
                               "Exec=sh -c \"env > '%1.part' && mv '%1.part' '%1'\"\n")
                    .arg(marker)
                    .toUtf8());
    entry.close();

    bool launched = false;
    {
        test::EnvironmentGuard environment;
        environment.set("DESKTOP_STARTUP_ID", "kestrelpoint-test_TIME42");
        environment.set("XDG_ACTIVATION_TOKEN", "kestrelpoint-test-token");
        environment.set("KESTREL_TEST_SENTINEL", "inherited");
        GioWorkspace().openApplication(FileUrl::fromPath(entry.fileName().toStdString()));
        launched = QTest::qWaitFor([&marker] { return QFile::exists(marker); }, 10000);
    }
    ASSERT_TRUE(launched);

    QFile written(marker);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const std::string environment = written.readAll().toStdString();
    EXPECT_NE(environment.find("KESTREL_TEST_SENTINEL=inherited"), std::string::npos) << environment;
    EXPECT_EQ(environment.find("kestrelpoint-test"), std::string::npos) << environment;
    EXPECT_TRUE(QTest::qWaitFor([] { return !hasZombieChild(); }, 5000));
}

} // namespace
} // namespace kestrel
