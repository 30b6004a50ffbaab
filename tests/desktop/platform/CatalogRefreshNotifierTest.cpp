#include "desktop/CatalogRefreshNotifier.h"

#include "app/AppLauncher.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

// Qt's event loop alone drives the refresh: an entry written while the window is shown reaches the result
// list, and the observers hear of it, without anything calling the refresher by hand.
TEST(CatalogRefreshNotifier, QtEventLoopBringsNewEntriesIntoTheShownList)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string applications = root.filePath(QStringLiteral("applications")).toStdString();
    QDir().mkpath(QString::fromStdString(applications));
    AppLauncher launcher(CatalogLocations{root.filePath(QStringLiteral("bundles")).toStdString(), {applications}},
                         LauncherServices{});
    CatalogRefreshNotifier notifier(launcher);
    launcher.showSearchWindow();
    int notifications = 0;
    launcher.objectWillChange().subscribe([&] { ++notifications; });
    ASSERT_TRUE(launcher.filteredApps().empty());

    QFile file(QString::fromStdString(applications + "/kiwi.desktop"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Kiwi\nExec=/bin/true\n");
    file.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return launcher.filteredApps().size() == 1; }, 20000));
    ASSERT_EQ(launcher.filteredApps().size(), 1u);
    EXPECT_EQ(launcher.filteredApps().front().name(), "Kiwi");
    EXPECT_GE(notifications, 2);
}

} // namespace
} // namespace kestrel
