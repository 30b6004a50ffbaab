#include "desktop/QtPasteboard.h"

#include "support/CatalogFixture.h"
#include "support/EnvironmentGuard.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>

namespace kestrel {
namespace {

/// Whether this process has a child, running or ended but not yet reaped.
bool hasChildProcess()
{
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT | __WALL) == 0;
}

// On Wayland the last change of each event-loop turn also goes to wl-copy, for native clients.
TEST(QtPasteboard, OnWaylandOffersEachTurnOfChangesToWlCopyThroughStdinAndSaysOnceThatItFailed)
{
    // A stand-in wl-copy on PATH that fails after appending "[arguments|stdin]" to a log.
    const test::TempTree tree;
    ::chmod(tree.write("wl-copy",
                       "#!/bin/sh\nin=$(cat)\nprintf '[%s|%s]' \"$*\" \"$in\" >>" + tree.path("log") + "\nexit 3\n")
                .c_str(),
            0700);
    const auto log = [&tree] {
        QFile in(QString::fromStdString(tree.path("log")));
        return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : "";
    };
    test::EnvironmentGuard environment;
    environment.set("PATH", (tree.root() + ":/usr/bin:/bin").c_str());
    DesktopSession wayland;
    wayland.wayland = true;
    QtPasteboard pasteboard(wayland);
    testing::internal::CaptureStderr();
    for (const std::string text : {"-4.0\n--clear", "2"}) {
        pasteboard.clearContents();
        pasteboard.setString(text);
        const auto runs = std::ranges::count(log(), '[') + 1;
        EXPECT_TRUE(QTest::qWaitFor([&] { return std::ranges::count(log(), '[') == runs; }, 30000));
    }
    // Every offer made so far has started its wl-copy once a marker posted after it has run, and every
    // wl-copy has ended once this process has no child left: only then is the log complete.
    bool reached = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&reached] { reached = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(QTest::qWaitFor([&reached] { return reached && !hasChildProcess(); }, 30000));
    const std::string offer = "[--type text/plain;charset=utf-8|";
    EXPECT_EQ(log(), offer + "-4.0\n--clear]" + offer + "2]");
    const std::string failed = testing::internal::GetCapturedStderr();
    EXPECT_NE(failed.find("exit status 3"), std::string::npos) << failed;
    EXPECT_EQ(std::ranges::count(failed, '\n'), 1) << failed;
}

} // namespace
} // namespace kestrel
