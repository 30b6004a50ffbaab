#pragma once

#include "catalog/LauncherApp.h"

#include <QAbstractListModel>

#include <cstdint>
#include <vector>

namespace kestrel {

/// The result list as a Qt list model: one row per entry of the controller's `filteredApps`, keyed by the
/// entry's `id`. Rows whose id stays from one update to the next keep their identity (persistent indexes
/// follow them); rows with a new id, such as the calculator row that each rebuild makes anew, are inserted
/// and the vanished ones removed. Main thread only.
class ResultListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        /// bool: whether the row is the selected one.
        SelectedRole = Qt::UserRole + 1,
    };

    explicit ResultListModel(QObject* parent = nullptr);

    /// Shows `apps` in order, with the row at `selectedIndex` drawn selected (none when it is not a valid
    /// position). Emits only what changed: `dataChanged` for rows whose selection flipped when the ids are
    /// the same sequence, otherwise the removals, moves and insertions that turn the old rows into the new.
    /// Returns whether the rows changed (not only the selection).
    bool setResults(const std::vector<LauncherApp>& apps, std::int64_t selectedIndex);

    /// The rows, in order.
    const std::vector<LauncherApp>& apps() const { return m_apps; }
    /// The entry behind `index`; null for an invalid index or one of another model.
    const LauncherApp* app(const QModelIndex& index) const;
    /// The selected position as last given; may lie outside the rows.
    std::int64_t selectedIndex() const { return m_selectedIndex; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    /// Qt::DisplayRole: the name. Qt::AccessibleTextRole: the name and what the subtitle says (the path, or
    /// the hint to press Enter). SelectedRole: see above.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    bool isSelectedRow(std::int64_t row) const;
    void replaceRows(const std::vector<LauncherApp>& apps);

    std::vector<LauncherApp> m_apps;
    std::int64_t m_selectedIndex = 0;
};

} // namespace kestrel
