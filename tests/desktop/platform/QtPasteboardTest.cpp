#include "desktop/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

/// Puts several items of several types on the clipboard, as another application might.
void fillWithRichContents()
{
    auto* data = new QMimeData;
    data->setText(QStringLiteral("earlier text"));
    data->setHtml(QStringLiteral("<b>earlier</b>"));
    data->setData(QStringLiteral("application/x-kestrel-test"), "earlier bytes");
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

TEST(QtPasteboard, ReplacesEverythingWithOnePlainTextItem)
{
    const std::vector<std::string> texts{"5.0", "0.30000000000000004", "-3.0", "1e+20", "Grüße, 東京 = 5.0"};
    QtPasteboard pasteboard;
    for (const std::string& text : texts) {
        fillWithRichContents();
        pasteboard.clearContents();
        pasteboard.setString(text);

        const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
        ASSERT_NE(data, nullptr) << text;
        EXPECT_EQ(data->formats(), QStringList{QStringLiteral("text/plain")}) << text;
        EXPECT_EQ(data->text().toStdString(), text);
        EXPECT_FALSE(data->hasHtml()) << text;
    }
}

TEST(QtPasteboard, ClearingEmptiesTheClipboard)
{
    fillWithRichContents();
    QtPasteboard pasteboard;
    pasteboard.clearContents();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    EXPECT_TRUE(data == nullptr || data->formats().isEmpty());
}

} // namespace
} // namespace kestrel
