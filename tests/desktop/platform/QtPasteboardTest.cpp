#include "desktop/QtPasteboard.h"

#include "support/EnvironmentGuard.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kestrel {
namespace {

TEST(QtPasteboard, ReplacesEverythingWithOnePlainTextItem)
{
    test::EnvironmentGuard environment;
    environment.set("WAYLAND_DISPLAY", nullptr);
    auto* earlier = new QMimeData; // as another application might leave it
    earlier->setData(QStringLiteral("application/x-kestrel-test"), "earlier bytes");
    QGuiApplication::clipboard()->setMimeData(earlier);
    QtPasteboard pasteboard;
    pasteboard.clearContents();
    pasteboard.setString("Grüße, 東京 = 5.0");

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->formats(), QStringList{QStringLiteral("text/plain")});
    EXPECT_EQ(data->text().toStdString(), "Grüße, 東京 = 5.0");
}

/// A Wayland session whose `wl-copy` is a stand-in on PATH: each run appends "[arguments|stdin]" to a log
/// and exits with `status`.
class WaylandSession {
public:
    explicit WaylandSession(int status = 0, const char* display = "wayland-test")
    {
        QFile script(m_dir.filePath(QStringLiteral("wl-copy")));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nin=$(cat)\nprintf '[%s|%s]' \"$*\" \"$in\" >>\"$(dirname \"$0\")/log\"\nexit " +
                     QByteArray::number(status) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        m_environment.set("WAYLAND_DISPLAY", display);
        m_environment.set("PATH", (m_dir.path() + QStringLiteral(":/usr/bin:/bin")).toUtf8().constData());
    }

    /// The log once `runs` runs have written to it, and a little later, so that any further run would show.
    std::string logAfter(int runs) const
    {
        (void)QTest::qWaitFor([&] { return std::ranges::count(log(), '[') >= runs; }, 10000);
        QTest::qWait(300);
        return log();
    }

    void setPath(const char* path) { m_environment.set("PATH", path); }

private:
    std::string log() const
    {
        QFile file(m_dir.filePath(QStringLiteral("log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }

    QTemporaryDir m_dir;
    test::EnvironmentGuard m_environment;
};

TEST(QtPasteboard, OnWaylandOneTurnOfChangesIsOneWlCopyOfferOfTheTextThroughStdin)
{
    const struct {
        const char* display;
        std::string log;
    } cases[] = {
        {"wayland-test", "[--type text/plain;charset=utf-8|-4.0\n--clear]"}, // not options, nor a clear first
        {"", ""},                                                            // not on Wayland: no wl-copy
    };
    for (const auto& c : cases) {
        WaylandSession session(0, c.display);
        QtPasteboard pasteboard;
        pasteboard.clearContents();
        pasteboard.setString("-4.0\n--clear");
        EXPECT_EQ(session.logAfter(c.log.empty() ? 0 : 1), c.log) << c.display;
    }
}

TEST(QtPasteboard, AMissingOrFailingWlCopyIsReportedOnce)
{
    const struct {
        const char* path; // null: the stand-in, which fails
        const char* says;
    } cases[] = {{"/nonexistent", "wl-copy (package wl-clipboard) could not be started"}, {nullptr, "exit status 3"}};
    for (const auto& c : cases) {
        WaylandSession session(3);
        if (c.path)
            session.setPath(c.path);
        const int runs = c.path ? 0 : 1;
        QtPasteboard pasteboard;
        testing::internal::CaptureStderr();
        pasteboard.setString("1");
        session.logAfter(runs);
        pasteboard.setString("2");
        session.logAfter(2 * runs);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(std::ranges::count(err, '\n'), 1) << err;
    }
}

} // namespace
} // namespace kestrel
