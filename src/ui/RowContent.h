#pragma once

#include "catalog/IconRef.h"
#include "catalog/LauncherApp.h"

#include <QMetaType>
#include <QString>
#include <QVariant>

namespace kestrel {

/// What one result row shows, and the item-model roles that carry it from a list model to the row
/// delegate: the model answers the roles for an entry with `data`, the delegate reads them back with
/// `read`, and neither needs to know the other.
class RowContent {
public:
    /// The roles beyond Qt::DisplayRole (the name, shown verbatim) and Qt::AccessibleTextRole.
    enum Role : int {
        /// QString: the subtitle's full text; empty when the row has no subtitle line.
        subtitleRole = Qt::UserRole + 1,
        /// bool: whether the row is the calculator row (function symbol, the hint in the secondary colour).
        calculationRole,
        /// IconRef: where the application's picture comes from; null when it has none.
        iconRole,
        /// bool: whether the row is the selected one.
        selectedRole,
    };

    QString title;
    QString subtitle;
    bool calculation = false;
    IconRef icon;
    bool selected = false;

    /// The subtitle's full text for `app`: the hint to press Enter for a calculator row, the path for an
    /// application with a URL, empty otherwise.
    static QString subtitleOf(const LauncherApp& app);
    /// What a screen reader says for the row: the name, then the subtitle when there is one.
    static QString accessibleTextOf(const LauncherApp& app);

    /// The value of `role` for a row showing `app`; an invalid value for a role not listed above, and for
    /// `selectedRole` (the model knows the selection, not the entry).
    static QVariant data(const LauncherApp& app, int role);
    /// The content as the model behind `index` gives it through the roles above.
    static RowContent read(const QModelIndex& index);
};

} // namespace kestrel

Q_DECLARE_METATYPE(kestrel::IconRef)
