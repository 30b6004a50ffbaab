#pragma once

#include "catalog/LauncherApp.h"
#include "ui/RowContent.h"

#include <QAbstractListModel>

#include <cstdint>
#include <vector>

namespace kestrel {

/// The result list as a Qt list model: one row per entry of the controller's `filteredApps`, keyed by the
/// entry's `id` (each row answers it as `idRole`). An update costs the same whatever the
/// length of the lists, apart from copying the new list:
/// - the same ids in the same order change only the selection: `dataChanged` for the rows that flipped;
/// - a local change (all but at most `localChangeLimit` rows of each list are the same rows at both ends:
///   an application installed or removed, the calculator row made anew) keeps every other row's
///   identity: the changed rows are removed, moved and inserted, so persistent indexes follow the rows
///   that stay;
/// - any larger change (typing, the whole catalogue listed again after a search) resets the model, and
///   the rows are read anew by id.
/// Each row answers the roles of `RowContent`. Main thread only.
class ResultListModel : public QAbstractListModel {
    Q_OBJECT
public:
    /// The most rows, of the old list and of the new, that an update diffs row by row.
    static constexpr std::size_t localChangeLimit = 64;
    /// QByteArray: the 16 bytes of the row's `id`.
    static constexpr int idRole = RowContent::selectedRole + 1;

    explicit ResultListModel(QObject* parent = nullptr);

    /// Shows `apps` in order, with the row at `selectedIndex` drawn selected (none when it is not a valid
    /// position), emitting only what changed as described above. Returns whether the rows changed (not
    /// only the selection).
    bool setResults(const std::vector<LauncherApp>& apps, std::int64_t selectedIndex);

    /// The rows, in order.
    const std::vector<LauncherApp>& apps() const { return m_apps; }
    /// The entry behind `index`; null for an invalid index or one of another model.
    const LauncherApp* app(const QModelIndex& index) const;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    /// The roles of `RowContent` and `idRole` for the entry behind `index`, `RowContent::selectedRole` from
    /// the selection as last given; an invalid value for an invalid index or another role.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void selectionChanged(std::int64_t previous);
    /// Replaces the rows `first` to `first + oldCount` by the entries `first` to `first + newCount` of
    /// `apps`, keeping the identity of the rows whose id is in both.
    void replaceRows(const std::vector<LauncherApp>& apps, std::size_t first, std::size_t oldCount,
                     std::size_t newCount);
    // The steps of `replaceRows`. `target` holds, for each old row from `first` on, its position in the
    // new list (-1 when its id is gone); each step keeps it in step with the rows.
    /// Removes the rows whose target is -1, in contiguous runs from the bottom up.
    void removeVanishedRows(std::size_t first, std::vector<int>& target);
    /// Brings the remaining rows into the order of their targets, carrying persistent indexes along.
    void reorderRows(std::size_t first, std::vector<int>& target);
    /// Inserts the entries of `apps` from `first` on that no row targets, in contiguous runs from the top.
    void insertNewRows(const std::vector<LauncherApp>& apps, std::size_t first, std::size_t newCount,
                       const std::vector<int>& target);

    std::vector<LauncherApp> m_apps;
    std::int64_t m_selectedIndex = 0;
};

} // namespace kestrel
