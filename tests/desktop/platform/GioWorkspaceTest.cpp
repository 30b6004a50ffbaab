#include "desktop/GioWorkspace.h"

#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kestrel {
namespace {

TEST(GioWorkspace, LaunchesADesktopEntryWithoutTheLauncherOnlyVariablesAndOpensAnyOtherPathWithItsDefaultApplication)
{
    // A recorder writes the path it was given and then its environment to its marker, in one step. The
    // entry runs it with nothing, the default application for directories (where bundles go) with the
    // path. A space in the entry's folder name: no shell may split the entry's path.
    const test::TempTree tree;
    const std::string recorder =
        tree.write("recorder", "#!/bin/sh\n{ printf '%s\\n' \"$1\"; env; } >\"$0~\" && mv \"$0~\" \"$0.out\"\n");
    ::chmod(recorder.c_str(), 0700);
    const std::string entry = tree.write("a folder/marker.desktop",
                                         "[Desktop Entry]\nType=Application\nName=Marker\nExec=" + recorder + "\n");
    tree.write("data/applications/kestrel-opener.desktop",
               "[Desktop Entry]\nType=Application\nName=Opener\nExec=" + recorder + " %f\nMimeType=inode/directory;\n");
    tree.write("config/mimeapps.list", "[Default Applications]\ninode/directory=kestrel-opener.desktop\n");
    const std::string bundle = tree.dir("Applications/Notes.app");
    test::EnvironmentGuard environment;
    for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", tree.path("data")},
                                      {"XDG_CONFIG_HOME", tree.path("config")},
                                      {"DESKTOP_STARTUP_ID", "kestrelpoint-test_TIME42"},
                                      {"XDG_ACTIVATION_TOKEN", "kestrelpoint-test-token"},
                                      {"KESTREL_TEST_SENTINEL", "inherited"}})
        environment.set(name, value.c_str());

    for (const auto& [path, argument] : {std::pair{entry, std::string()}, std::pair{bundle, bundle}}) {
        SCOPED_TRACE(path);
        GioWorkspace().openApplication(FileUrl::fromPath(path));
        QFile marker(QString::fromStdString(recorder + ".out"));
        EXPECT_TRUE(QTest::qWaitFor([&marker] { return marker.exists(); }, 10000));
        const std::string launched = marker.open(QIODevice::ReadOnly) ? marker.readAll().toStdString() : "";
        marker.remove();
        EXPECT_TRUE(launched.starts_with(argument + "\n")) << launched;
        EXPECT_NE(launched.find("KESTREL_TEST_SENTINEL=inherited"), std::string::npos) << launched;
        EXPECT_EQ(launched.find("kestrelpoint-test"), std::string::npos) << launched;
    }
}

} // namespace
} // namespace kestrel
