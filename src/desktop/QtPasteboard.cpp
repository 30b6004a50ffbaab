#include "desktop/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace kestrel {

void QtPasteboard::clearContents()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void QtPasteboard::setString(const std::string& text)
{
    QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

} // namespace kestrel
