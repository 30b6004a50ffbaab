#include "ui/ResultListModel.h"

#include "ui/AppRow.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace kestrel {

namespace {

struct UuidHash {
    std::size_t operator()(const Uuid& id) const noexcept
    {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        std::memcpy(&high, id.bytes().data(), sizeof high);
        std::memcpy(&low, id.bytes().data() + sizeof high, sizeof low);
        return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
    }
};

bool sameIds(const std::vector<LauncherApp>& a, const std::vector<LauncherApp>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const LauncherApp& x, const LauncherApp& y) { return x.id() == y.id(); });
}

} // namespace

ResultListModel::ResultListModel(QObject* parent) : QAbstractListModel(parent) {}

bool ResultListModel::setResults(const std::vector<LauncherApp>& apps, std::int64_t selectedIndex)
{
    const std::int64_t previousSelection = m_selectedIndex;
    if (sameIds(m_apps, apps)) {
        m_selectedIndex = selectedIndex;
        if (previousSelection != selectedIndex) {
            for (const std::int64_t row : {previousSelection, selectedIndex}) {
                if (row >= 0 && row < static_cast<std::int64_t>(m_apps.size())) {
                    const QModelIndex changed = index(static_cast<int>(row));
                    emit dataChanged(changed, changed, {SelectedRole});
                }
            }
        }
        return false;
    }

    replaceRows(apps);
    m_selectedIndex = selectedIndex;
    if (!m_apps.empty()) {
        emit dataChanged(index(0), index(static_cast<int>(m_apps.size()) - 1), {SelectedRole});
    }
    return true;
}

void ResultListModel::replaceRows(const std::vector<LauncherApp>& apps)
{
    std::unordered_map<Uuid, int, UuidHash> newPosition;
    newPosition.reserve(apps.size());
    for (std::size_t i = 0; i < apps.size(); ++i) {
        newPosition.emplace(apps[i].id(), static_cast<int>(i));
    }
    if (newPosition.size() != apps.size()) {
        // Ids are meant to be unique; without that there is no identity to keep.
        beginResetModel();
        m_apps = apps;
        endResetModel();
        return;
    }

    // Where each current row goes (-1 when its id is gone): one lookup per row, kept in step with the
    // rows below, so no step needs to hash again.
    std::vector<int> target(m_apps.size());
    for (std::size_t i = 0; i < m_apps.size(); ++i) {
        const auto found = newPosition.find(m_apps[i].id());
        target[i] = found == newPosition.end() ? -1 : found->second;
    }

    // 1. Remove the rows whose id is gone, in contiguous runs from the bottom up.
    int row = static_cast<int>(m_apps.size()) - 1;
    while (row >= 0) {
        if (target[static_cast<std::size_t>(row)] >= 0) {
            --row;
            continue;
        }
        const int last = row;
        while (row - 1 >= 0 && target[static_cast<std::size_t>(row - 1)] < 0) {
            --row;
        }
        beginRemoveRows(QModelIndex(), row, last);
        m_apps.erase(m_apps.begin() + row, m_apps.begin() + last + 1);
        target.erase(target.begin() + row, target.begin() + last + 1);
        endRemoveRows();
        --row;
    }

    // 2. Bring the surviving rows into their new relative order, carrying persistent indexes along.
    if (!std::is_sorted(target.begin(), target.end())) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> order(m_apps.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<int>(i);
        }
        // Targets are distinct (ids are unique), so any sort gives the one order.
        std::sort(order.begin(), order.end(), [&target](int a, int b) {
            return target[static_cast<std::size_t>(a)] < target[static_cast<std::size_t>(b)];
        });
        std::vector<int> rankOf(order.size());
        std::vector<LauncherApp> sorted;
        sorted.reserve(m_apps.size());
        for (std::size_t rank = 0; rank < order.size(); ++rank) {
            rankOf[static_cast<std::size_t>(order[rank])] = static_cast<int>(rank);
            sorted.push_back(m_apps[static_cast<std::size_t>(order[rank])]);
        }
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& old : from) {
            to.append(index(rankOf[static_cast<std::size_t>(old.row())], old.column()));
        }
        m_apps = std::move(sorted);
        std::sort(target.begin(), target.end());
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    // 3. Insert the rows with new ids, in contiguous runs from the top down.
    std::vector<char> survives(apps.size(), 0);
    for (const int position : target) {
        survives[static_cast<std::size_t>(position)] = 1;
    }
    std::size_t at = 0;
    while (at < apps.size()) {
        if (survives[at] != 0) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < apps.size() && survives[end] == 0) {
            ++end;
        }
        beginInsertRows(QModelIndex(), static_cast<int>(at), static_cast<int>(end) - 1);
        m_apps.insert(m_apps.begin() + static_cast<std::ptrdiff_t>(at), apps.begin() + static_cast<std::ptrdiff_t>(at),
                      apps.begin() + static_cast<std::ptrdiff_t>(end));
        endInsertRows();
        at = end;
    }
}

const LauncherApp* ResultListModel::app(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= m_apps.size()) {
        return nullptr;
    }
    return &m_apps[static_cast<std::size_t>(index.row())];
}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_apps.size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    const LauncherApp* item = app(index);
    if (item == nullptr) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(item->name());
    case Qt::AccessibleTextRole: {
        const QString subtitle = AppRow::subtitleText(*item);
        const QString name = QString::fromStdString(item->name());
        return subtitle.isEmpty() ? name : name + QStringLiteral(", ") + subtitle;
    }
    case SelectedRole:
        return isSelectedRow(index.row());
    default:
        return {};
    }
}

QHash<int, QByteArray> ResultListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(SelectedRole, "selected");
    return names;
}

bool ResultListModel::isSelectedRow(std::int64_t row) const
{
    return row == m_selectedIndex;
}

} // namespace kestrel
