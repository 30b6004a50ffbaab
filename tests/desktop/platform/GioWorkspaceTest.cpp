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

TEST(GioWorkspace, LaunchesADesktopEntryCleanlyAndOpensAnyOtherPathWithItsDefaultApplication)
{
    // The entry's program writes its environment, the default application for directories (where bundles
    // go) the path it was given, each to a marker in one step. A space in the folder's name: no shell may
    // split the entry's path.
    const test::TempTree tree;
    const auto writeInOneStep = [](const std::string& what, const std::string& marker) {
        return what + " > '" + marker + ".part' && mv '" + marker + ".part' '" + marker + "'";
    };
    const std::string entry = tree.write("a folder/marker.desktop",
                                         "[Desktop Entry]\nType=Application\nName=Marker\nExec=sh -c \"" +
                                             writeInOneStep("env", tree.path("environment")) + "\"\n");
    const std::string opener = tree.write("opener.sh", "#!/bin/sh\n" + writeInOneStep("printf '%s' \"$1\"",
                                                                                      tree.path("opened")));
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
    environment.set("DESKTOP_STARTUP_ID", "kestrelpoint-test_TIME42");
    environment.set("XDG_ACTIVATION_TOKEN", "kestrelpoint-test-token");
    environment.set("KESTREL_TEST_SENTINEL", "inherited");

    GioWorkspace().openApplication(FileUrl::fromPath(entry));
    const std::string launched = waitForMarker(tree.path("environment"));
    EXPECT_NE(launched.find("KESTREL_TEST_SENTINEL=inherited"), std::string::npos) << launched;
    EXPECT_EQ(launched.find("kestrelpoint-test"), std::string::npos) << launched;
    EXPECT_TRUE(QTest::qWaitFor([] { return !hasZombieChild(); }, 5000));
    GioWorkspace().openApplication(FileUrl::fromPath(bundle));
    EXPECT_EQ(waitForMarker(tree.path("opened")), bundle);
}

} // namespace
} // namespace kestrel
