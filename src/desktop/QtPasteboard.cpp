#include "desktop/QtPasteboard.h"

#include "main/Diagnostics.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMetaObject>
#include <QProcess>
#include <QString>

#include <utility>

namespace kestrel {

QtPasteboard::QtPasteboard(const DesktopSession& session)
    : m_wayland(session.wayland)
{
}

void QtPasteboard::clearContents()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    scheduleWaylandOffer(std::nullopt);
}

void QtPasteboard::setString(const std::string& text)
{
    QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
    scheduleWaylandOffer(text);
}

void QtPasteboard::scheduleWaylandOffer(std::optional<std::string> text)
{
    if (!m_wayland)
        return;
    m_waylandText = std::move(text);
    if (m_offerScheduled)
        return;
    m_offerScheduled = true;
    QMetaObject::invokeMethod(
        &m_queue, [this] { offerToWayland(); }, Qt::QueuedConnection);
}

void QtPasteboard::offerToWayland()
{
    m_offerScheduled = false;
    auto* copy = new QProcess(&m_queue);
    // why: wl-copy leaves a child behind that serves the clipboard; it must not hold our pipes open.
    copy->setStandardOutputFile(QProcess::nullDevice());
    copy->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(copy, &QProcess::errorOccurred, &m_queue, [this, copy](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            warn("wl-copy (package wl-clipboard) could not be started");
            copy->deleteLater();
        }
    });
    QObject::connect(copy, &QProcess::finished, &m_queue, [this, copy](int status, QProcess::ExitStatus how) {
        if (how != QProcess::NormalExit || status != 0)
            warn("wl-copy failed (exit status " + std::to_string(status) + ")");
        copy->deleteLater();
    });
    if (!m_waylandText) {
        copy->setStandardInputFile(QProcess::nullDevice());
        copy->start(QStringLiteral("wl-copy"), {QStringLiteral("--clear")});
        return;
    }
    // The text goes through stdin, never the command line: any length, and a leading '-' stays text.
    copy->start(QStringLiteral("wl-copy"), {QStringLiteral("--type"), QStringLiteral("text/plain;charset=utf-8")});
    copy->write(m_waylandText->data(), static_cast<qint64>(m_waylandText->size()));
    copy->closeWriteChannel();
}

void QtPasteboard::warn(const std::string& problem)
{
    diagnostics::report("wl-copy", problem
                                       + ", so native Wayland applications may not be able to paste what the "
                                         "launcher copies");
}

} // namespace kestrel
