#include "ui/ResultListModel.h"

#include "ui/RowContent.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace kestrel {

namespace {

bool sameIds(const std::vector<LauncherApp>& a, const std::vector<LauncherApp>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const LauncherApp& x, const LauncherApp& y) { return x.id() == y.id(); });
}

} // namespace

std::size_t ResultListModel::IdHash::operator()(const Uuid& id) const noexcept
{
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, id.bytes().data(), sizeof high);
    std::memcpy(&low, id.bytes().data() + sizeof high, sizeof low);
    return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
}

ResultListModel::ResultListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

bool ResultListModel::setResults(const std::vector<LauncherApp>& apps, std::int64_t selectedIndex)
{
    const std::int64_t previousSelection = m_selectedIndex;
    if (sameIds(m_apps, apps)) {
        m_selectedIndex = selectedIndex;
        if (previousSelection != selectedIndex) {
            selectionChanged(previousSelection);
        }
        return false;
    }

    replaceRows(apps);
    m_selectedIndex = selectedIndex;
    if (!m_apps.empty()) {
        emit dataChanged(index(0), index(static_cast<int>(m_apps.size()) - 1), {RowContent::selectedRole});
    }
    return true;
}

void ResultListModel::selectionChanged(std::int64_t previous)
{
    for (const std::int64_t row : {previous, m_selectedIndex}) {
        if (row >= 0 && row < static_cast<std::int64_t>(m_apps.size())) {
            const QModelIndex changed = index(static_cast<int>(row));
            emit dataChanged(changed, changed, {RowContent::selectedRole});
        }
    }
}

void ResultListModel::replaceRows(const std::vector<LauncherApp>& apps)
{
    std::unordered_map<Uuid, int, IdHash> next;
    next.reserve(apps.size());
    for (std::size_t i = 0; i < apps.size(); ++i) {
        next.emplace(apps[i].id(), static_cast<int>(i));
    }
    if (next.size() != apps.size()) {
        // Ids are meant to be unique; without that there is no identity to keep.
        beginResetModel();
        m_apps = apps;
        endResetModel();
        return;
    }
    // Where each current row goes (-1 when its id is gone): one lookup per row, kept in step with the
    // rows by each step below, so no step needs to hash again.
    std::vector<int> target(m_apps.size());
    for (std::size_t i = 0; i < m_apps.size(); ++i) {
        const auto found = next.find(m_apps[i].id());
        target[i] = found == next.end() ? -1 : found->second;
    }
    removeVanishedRows(target);
    reorderRows(target);
    insertNewRows(apps, target);
}

void ResultListModel::removeVanishedRows(std::vector<int>& target)
{
    const auto vanished = [&](int row) { return target[static_cast<std::size_t>(row)] < 0; };
    int row = static_cast<int>(m_apps.size()) - 1;
    while (row >= 0) {
        if (!vanished(row)) {
            --row;
            continue;
        }
        const int last = row;
        while (row - 1 >= 0 && vanished(row - 1)) {
            --row;
        }
        beginRemoveRows(QModelIndex(), row, last);
        m_apps.erase(m_apps.begin() + row, m_apps.begin() + last + 1);
        target.erase(target.begin() + row, target.begin() + last + 1);
        endRemoveRows();
        --row;
    }
}

void ResultListModel::reorderRows(std::vector<int>& target)
{
    if (std::is_sorted(target.begin(), target.end())) {
        return;
    }
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

void ResultListModel::insertNewRows(const std::vector<LauncherApp>& apps, const std::vector<int>& target)
{
    std::vector<char> survives(apps.size(), 0);
    for (const int position : target) {
        survives[static_cast<std::size_t>(position)] = 1;
    }
    const auto isNew = [&](std::size_t at) { return survives[at] == 0; };
    std::size_t at = 0;
    while (at < apps.size()) {
        if (!isNew(at)) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < apps.size() && isNew(end)) {
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
    if (!index.isValid() || index.model() != this || index.row() < 0
        || static_cast<std::size_t>(index.row()) >= m_apps.size()) {
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
    if (role == RowContent::selectedRole) {
        return index.row() == m_selectedIndex;
    }
    return RowContent::data(*item, role);
}

} // namespace kestrel
