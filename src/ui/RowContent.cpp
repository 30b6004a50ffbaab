#include "ui/RowContent.h"

#include <QCoreApplication>
#include <QModelIndex>

namespace kestrel {

QString RowContent::subtitleOf(const LauncherApp& app)
{
    if (app.type() == LauncherItemType::calculation) {
        return QCoreApplication::translate("kestrel::RowContent", "Press Enter to copy result");
    }
    if (app.url()) {
        return QString::fromStdString(app.url()->path());
    }
    return {};
}

QString RowContent::accessibleTextOf(const LauncherApp& app)
{
    const QString name = QString::fromStdString(app.name());
    const QString subtitle = subtitleOf(app);
    return subtitle.isEmpty() ? name : name + QStringLiteral(", ") + subtitle;
}

QVariant RowContent::data(const LauncherApp& app, int role)
{
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(app.name());
    case Qt::AccessibleTextRole:
        return accessibleTextOf(app);
    case subtitleRole:
        return subtitleOf(app);
    case calculationRole:
        return app.type() == LauncherItemType::calculation;
    case iconRole:
        return QVariant::fromValue(app.icon());
    default:
        return {};
    }
}

RowContent RowContent::read(const QModelIndex& index)
{
    RowContent content;
    content.title = index.data(Qt::DisplayRole).toString();
    content.subtitle = index.data(subtitleRole).toString();
    content.calculation = index.data(calculationRole).toBool();
    content.icon = index.data(iconRole).value<IconRef>();
    content.selected = index.data(selectedRole).toBool();
    return content;
}

} // namespace kestrel
