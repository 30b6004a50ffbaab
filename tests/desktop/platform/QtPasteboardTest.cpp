#include "desktop/QtPasteboard.h"

#include "support/EnvironmentGuard.h"

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

/// One environment variable set (or, given nullptr, unset) for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) { m_guard.set(name, value); }

private:
    test::EnvironmentGuard m_guard;
};

TEST(QtPasteboard, ReplacesEverythingWithOnePlainTextItem)
{
    ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
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

/// A stand-in `wl-copy` on PATH: invocation N saves its arguments in args-N and its stdin in in-N, then
/// exits with the status in the file `status` (0 when absent).
class FakeWlCopy {
public:
    FakeWlCopy()
        : m_path("PATH", (m_dir.path() + QStringLiteral(":/usr/bin:/bin")).toLocal8Bit().constData())
    {
        QFile script(m_dir.filePath(QStringLiteral("wl-copy")));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n"
                     "dir=$(dirname \"$0\")\n"
                     "n=$(ls \"$dir\" | grep -c '^args-')\n"
                     "cat >\"$dir/in-$n\"\n"
                     "printf '%s\\n' \"$*\" >\"$dir/args-$n.tmp\" && mv \"$dir/args-$n.tmp\" \"$dir/args-$n\"\n"
                     "exit $(cat \"$dir/status\" 2>/dev/null || echo 0)\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void exitWith(int status)
    {
        QFile file(m_dir.filePath(QStringLiteral("status")));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray::number(status));
    }

    /// Runs the event loop until `count` invocations have finished, then a little longer so that any
    /// further one would show.
    int invocationsAfter(int count)
    {
        static_cast<void>(QTest::qWaitFor([&] { return invocations() >= count; }, 10000));
        QTest::qWait(300);
        return invocations();
    }

    int invocations() const
    {
        return static_cast<int>(QDir(m_dir.path()).entryList({QStringLiteral("args-*")}, QDir::Files).size());
    }
    QByteArray args(int n) const { return read(QStringLiteral("args-%1").arg(n)).trimmed(); }
    QByteArray input(int n) const { return read(QStringLiteral("in-%1").arg(n)); }

private:
    QByteArray read(const QString& name) const
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir m_dir;
    ScopedEnv m_path;
};

TEST(QtPasteboard, OnWaylandOneTurnOfChangesIsOneWlCopyOffer)
{
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-test");
    const QByteArray text = "text/plain;charset=utf-8";
    struct Case {
        const char* name;
        std::function<void(QtPasteboard&)> changes;
        QByteArray args, input;
    };
    const Case cases[] = {
        {"clear, then a text", [](QtPasteboard& p) { p.clearContents(); p.setString("5.0"); }, "--type " + text, "5.0"},
        {"a text that looks like an option, with a newline",
         [](QtPasteboard& p) { p.setString("-4.0\n--clear"); }, "--type " + text, "-4.0\n--clear"},
        {"two texts: the last one counts", [](QtPasteboard& p) { p.setString("1"); p.setString("2"); }, "--type " + text, "2"},
        {"a text, then clear", [](QtPasteboard& p) { p.setString("1"); p.clearContents(); }, "--clear", ""},
        {"UTF-8 passes unchanged", [](QtPasteboard& p) { p.setString("Grüße, 東京"); }, "--type " + text, "Grüße, 東京"},
    };
    for (const Case& c : cases) {
        FakeWlCopy wlCopy;
        QtPasteboard pasteboard;
        c.changes(pasteboard);
        ASSERT_EQ(wlCopy.invocationsAfter(1), 1) << c.name;
        EXPECT_EQ(wlCopy.args(0), c.args) << c.name;
        EXPECT_EQ(wlCopy.input(0), c.input) << c.name;
    }
}

TEST(QtPasteboard, WlCopyOnlyOnWayland)
{
    ScopedEnv noWayland("WAYLAND_DISPLAY", "");
    FakeWlCopy wlCopy;
    QtPasteboard pasteboard;
    pasteboard.setString("5.0");
    EXPECT_EQ(wlCopy.invocationsAfter(0), 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "5.0");
}

TEST(QtPasteboard, AMissingOrFailingWlCopyIsReportedOnce)
{
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-test");
    struct Case {
        const char* name;
        bool installed;
        const char* says;
    };
    for (const Case& c : {Case{"missing", false, "could not be started"}, Case{"failing", true, "exit status 3"}}) {
        std::optional<FakeWlCopy> wlCopy;
        std::optional<ScopedEnv> emptyPath;
        if (c.installed) {
            wlCopy.emplace();
            wlCopy->exitWith(3);
        } else {
            emptyPath.emplace("PATH", "/nonexistent");
        }
        QtPasteboard pasteboard;
        testing::internal::CaptureStderr();
        for (const char* copied : {"1", "2"}) {
            pasteboard.setString(copied);
            if (wlCopy)
                wlCopy->invocationsAfter(copied[0] == '1' ? 1 : 2);
            else
                QTest::qWait(300);
        }
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.says), std::string::npos) << c.name << ": " << err;
        EXPECT_NE(err.find("Wayland"), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name << ": " << err;
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "2") << c.name << ": the X side still works";
    }
}

} // namespace
} // namespace kestrel
