#include "desktop/GioWorkspace.h"

#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

namespace kestrel {
namespace {

/// Whether a child of this process has ended without being waited for (looked at, not reaped).
bool hasZombieChild()
{
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

/// What the launched program wrote to `marker` (it writes in one step, by renaming); "" after ten seconds.
std::string waitForMarker(const std::string& marker)
{
    QFile file(QString::fromStdString(marker));
    (void)QTest::qWaitFor([&file] { return file.exists(); }, 10000);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
}

TEST(GioWorkspace, LaunchesADesktopEntryWithoutTheLauncherOnlyVariablesAndLeavesNoZombie)
{
    // A space in the folder's name: no shell may split the entry's path.
    const test::TempTree tree;
    const std::string marker = tree.path("a folder/marker");
    const std::string entry = tree.write("a folder/marker.desktop",
                                         "[Desktop Entry]\nType=Application\nName=Marker\nExec=sh -c \"env > '" +
                                             marker + ".part' && mv '" + marker + ".part' '" + marker + "'\"\n");
    std::string environment;
    {
        test::EnvironmentGuard guard;
        guard.set("DESKTOP_STARTUP_ID", "kestrelpoint-test_TIME42");
        guard.set("XDG_ACTIVATION_TOKEN", "kestrelpoint-test-token");
        guard.set("KESTREL_TEST_SENTINEL", "inherited");
        GioWorkspace().openApplication(FileUrl::fromPath(entry));
        environment = waitForMarker(marker);
    }
    EXPECT_NE(environment.find("KESTREL_TEST_SENTINEL=inherited"), std::string::npos) << environment;
    EXPECT_EQ(environment.find("kestrelpoint-test"), std::string::npos) << environment;
    EXPECT_TRUE(QTest::qWaitFor([] { return !hasZombieChild(); }, 5000));
}

TEST(GioWorkspace, OpensAPathThatIsNoDesktopEntryWithItsDefaultApplication)
{
    // A bundle is a directory: it goes to the user's default application for directories, here an
    // opener that writes the path it was given to a marker. Each test runs in its own process, so GIO
    // reads these directories afresh.
    const test::TempTree tree;
    const std::string marker = tree.path("opened");
    const std::string opener =
        tree.write("opener.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + marker + ".part' && mv '" + marker +
                                    ".part' '" + marker + "'\n");
    ::chmod(opener.c_str(), 0700);
    tree.write("data/applications/kestrel-opener.desktop",
               "[Desktop Entry]\nType=Application\nName=Opener\nExec=" + opener + " %f\nMimeType=inode/directory;\n");
    tree.write("config/mimeapps.list", "[Default Applications]\ninode/directory=kestrel-opener.desktop\n");
    const std::string bundle = tree.dir("Applications/Notes.app");

    test::EnvironmentGuard environment;
    environment.set("XDG_DATA_HOME", tree.path("data").c_str());
    environment.set("XDG_DATA_DIRS", tree.path("none").c_str());
    environment.set("XDG_CONFIG_HOME", tree.path("config").c_str());
    environment.set("XDG_CONFIG_DIRS", tree.path("none").c_str());
    GioWorkspace().openApplication(FileUrl::fromPath(bundle));
    EXPECT_EQ(waitForMarker(marker), bundle);
}

} // namespace
} // namespace kestrel
