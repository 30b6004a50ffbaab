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

TEST(GioWorkspace, OpensAPathThatIsNoDesktopEntryWithItsDefaultApplication)
{
    // A bundle is a directory: it goes to the user's default application for directories, here an
    // opener of the test's own that writes the path it was given to a marker. Each test runs in its own
    // process, so GIO reads these directories afresh.
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("opened"));
    const QString opener = dir.filePath(QStringLiteral("opener.sh"));
    QFile script(opener);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1.part' && mv '%1.part' '%1'\n").arg(marker).toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir(dir.path()).mkpath(QStringLiteral("data/applications"));
    QDir(dir.path()).mkpath(QStringLiteral("config"));
    QDir(dir.path()).mkpath(QStringLiteral("Applications/Notes.app"));
    QFile entry(dir.filePath(QStringLiteral("data/applications/kestrel-opener.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Opener\nExec=%1 %f\nMimeType=inode/directory;\n")
                    .arg(opener)
                    .toUtf8());
    entry.close();
    QFile defaults(dir.filePath(QStringLiteral("config/mimeapps.list")));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\ninode/directory=kestrel-opener.desktop\n");
    defaults.close();

    test::EnvironmentGuard environment;
    environment.set("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8().constData());
    environment.set("XDG_DATA_DIRS", dir.filePath(QStringLiteral("none")).toUtf8().constData());
    environment.set("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8().constData());
    environment.set("XDG_CONFIG_DIRS", dir.filePath(QStringLiteral("none")).toUtf8().constData());
    const std::string bundle = dir.filePath(QStringLiteral("Applications/Notes.app")).toStdString();
    GioWorkspace().openApplication(FileUrl::fromPath(bundle));
    ASSERT_TRUE(QTest::qWaitFor([&marker] { return QFile::exists(marker); }, 10000));
    QFile opened(marker);
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(opened.readAll().toStdString(), bundle);
}

} // namespace
} // namespace kestrel
