#include "ui/ResultListModel.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace kestrel {

namespace {

/// Whether `a` and `b` are the same entry: the same record (a pointer comparison, which settles most
/// cases without reading the records), or records with the same id.
bool sameRow(const LauncherApp& a, const LauncherApp& b)
{
    return &a.id() == &b.id() || a.id() == b.id();
}

struct IdHash {
    std::size_t operator()(const Uuid& id) const noexcept
    {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        std::memcpy(&high, id.bytes().data(), sizeof high);
        std::memcpy(&low, id.bytes().data() + sizeof high, sizeof low);
        return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
    }
};

} // namespace

ResultListModel::ResultListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

bool ResultListModel::setResults(const std::vector<LauncherApp>& apps, std::int64_t selectedIndex)
{
    const std::int64_t previousSelection = m_selectedIndex;
    // The rows that stay at both ends; what lies between them changed.
    const std::size_t shorter = std::min(m_apps.size(), apps.size());
    std::size_t head = 0;
    while (head < shorter && sameRow(m_apps[head], apps[head])) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < shorter - head && sameRow(m_apps[m_apps.size() - 1 - tail], apps[apps.size() - 1 - tail])) {
        ++tail;
    }
    const std::size_t oldCount = m_apps.size() - head - tail;
    const std::size_t newCount = apps.size() - head - tail;
    m_selectedIndex = selectedIndex;

    if (oldCount == 0 && newCount == 0) {
        if (previousSelection != selectedIndex) {
            selectionChanged(previousSelection);
        }
        return false;
    }
    if (oldCount > localChangeLimit || newCount > localChangeLimit) {
        // why: diffing thousands of rows (a hash of every id) costs more than the list view's whole
        // relayout, and keeps nothing on screen: after such a change the list shows its first rows.
        beginResetModel();
        m_apps = apps;
        endResetModel();
        return true;
    }
    replaceRows(apps, head, oldCount, newCount);
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

void ResultListModel::replaceRows(const std::vector<LauncherApp>& apps, std::size_t first, std::size_t oldCount,
                                  std::size_t newCount)
{
    std::unordered_map<Uuid, int, IdHash> next;
    next.reserve(newCount);
    for (std::size_t i = first; i < first + newCount; ++i) {
        next.emplace(apps[i].id(), static_cast<int>(i));
    }
    if (next.size() != newCount) {
        // Ids are meant to be unique; without that there is no identity to keep.
        beginResetModel();
        m_apps = apps;
        endResetModel();
        return;
    }
    std::vector<int> target(oldCount);
    for (std::size_t i = 0; i < oldCount; ++i) {
        const auto found = next.find(m_apps[first + i].id());
        target[i] = found == next.end() ? -1 : found->second;
    }
    removeVanishedRows(first, target);
    reorderRows(first, target);
    insertNewRows(apps, first, newCount, target);
}

void ResultListModel::removeVanishedRows(std::size_t first, std::vector<int>& target)
{
    const auto vanished = [&](int at) { return target[static_cast<std::size_t>(at)] < 0; };
    int at = static_cast<int>(target.size()) - 1;
    while (at >= 0) {
        if (!vanished(at)) {
            --at;
            continue;
        }
        const int last = at;
        while (at - 1 >= 0 && vanished(at - 1)) {
            --at;
        }
        const int row = static_cast<int>(first) + at;
        beginRemoveRows(QModelIndex(), row, static_cast<int>(first) + last);
        m_apps.erase(m_apps.begin() + row, m_apps.begin() + static_cast<int>(first) + last + 1);
        target.erase(target.begin() + at, target.begin() + last + 1);
        endRemoveRows();
        --at;
    }
}

void ResultListModel::reorderRows(std::size_t first, std::vector<int>& target)
{
    if (std::is_sorted(target.begin(), target.end())) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(target.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
    }
    // Targets are distinct (ids are unique), so any sort gives the one order.
    std::sort(order.begin(), order.end(), [&target](int a, int b) {
        return target[static_cast<std::size_t>(a)] < target[static_cast<std::size_t>(b)];
    });
    std::vector<int> rankOf(order.size());
    std::vector<LauncherApp> sorted;
    sorted.reserve(order.size());
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        rankOf[static_cast<std::size_t>(order[rank])] = static_cast<int>(rank);
        sorted.push_back(m_apps[first + static_cast<std::size_t>(order[rank])]);
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    const int begin = static_cast<int>(first);
    const int end = begin + static_cast<int>(order.size());
    for (const QModelIndex& old : from) {
        const int row = old.row();
        to.append(row >= begin && row < end ? index(begin + rankOf[static_cast<std::size_t>(row - begin)], old.column())
                                            : old);
    }
    std::move(sorted.begin(), sorted.end(), m_apps.begin() + begin);
    std::sort(target.begin(), target.end());
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultListModel::insertNewRows(const std::vector<LauncherApp>& apps, std::size_t first, std::size_t newCount,
                                    const std::vector<int>& target)
{
    std::vector<char> survives(newCount, 0);
    for (const int position : target) {
        survives[static_cast<std::size_t>(position) - first] = 1;
    }
    const auto isNew = [&](std::size_t at) { return survives[at - first] == 0; };
    std::size_t at = first;
    const std::size_t stop = first + newCount;
    while (at < stop) {
        if (!isNew(at)) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < stop && isNew(end)) {
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
    if (role == idRole) {
        return QByteArray(reinterpret_cast<const char*>(item->id().bytes().data()),
                          static_cast<qsizetype>(item->id().bytes().size()));
    }
    return RowContent::data(*item, role);
}

} // namespace kestrel
