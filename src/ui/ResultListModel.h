#pragma once

#include "catalog/LauncherApp.h"

#include <QAbstractListModel>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kestrel {

/// The result list as a Qt list model: one row per entry of the controller's `filteredApps`, keyed by the
/// entry's `id`. Rows whose id stays from one update to the next keep their identity (persistent indexes
/// follow them); rows with a new id, such as the calculator row that each rebuild makes anew, are inserted
/// and the vanished ones removed. Each row answers the roles of `RowContent`. Main thread only.
class ResultListModel : public QAbstractListModel {
    Q_OBJECT
public:
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
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    /// The roles of `RowContent` for the entry behind `index`, `RowContent::selectedRole` from the
    /// selection as last given; an invalid value for an invalid index or another role.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    struct IdHash {
        std::size_t operator()(const Uuid& id) const noexcept;
    };

    void selectionChanged(std::int64_t previous);
    void replaceRows(const std::vector<LauncherApp>& apps);
    // The steps of `replaceRows`. `target` holds, for each current row, its position in the new list
    // (-1 when its id is gone); each step keeps it in step with the rows.
    /// Removes the rows whose target is -1, in contiguous runs from the bottom up.
    void removeVanishedRows(std::vector<int>& target);
    /// Brings the remaining rows into the order of their targets, carrying persistent indexes along.
    void reorderRows(std::vector<int>& target);
    /// Inserts the entries of `apps` that no row targets, in contiguous runs from the top down.
    void insertNewRows(const std::vector<LauncherApp>& apps, const std::vector<int>& target);

    std::vector<LauncherApp> m_apps;
    std::int64_t m_selectedIndex = 0;
};

} // namespace kestrel
