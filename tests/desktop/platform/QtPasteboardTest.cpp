#include "desktop/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(QtPasteboard, ReplacesEverythingWithOnePlainTextItem)
{
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

} // namespace
} // namespace kestrel
