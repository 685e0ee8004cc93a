#include "platform/qt/ChannelListModel.h"

#include "platform/qt/TextDecoding.h"

#include <algorithm>

namespace tellix {

void ChannelListModel::Clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ChannelListModel::Append(std::string name, std::uint64_t users, const QString& topic)
{
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    QString shown = DecodeForDisplay(name);
    rows_.push_back(Row{std::move(name), std::move(shown), users, topic});
    endInsertRows();
}

void ChannelListModel::Resort()
{
    if (sortColumn_ >= 0) {
        sort(sortColumn_, sortOrder_);
    }
}

int ChannelListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ChannelListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant ChannelListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    // Counts stand right-aligned, so that their digits line up as a column of numbers.
    if (role == Qt::TextAlignmentRole) {
        return index.column() == Users ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case Name:
        return row.name;
    case Users:
        return QVariant::fromValue<qulonglong>(row.users);
    case Topic:
        return row.topic;
    default:
        return {};
    }
}

QVariant ChannelListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case Name:
        return QStringLiteral("Channel");
    case Users:
        return QStringLiteral("Users");
    case Topic:
        return QStringLiteral("Topic");
    default:
        return {};
    }
}

void ChannelListModel::sort(int column, Qt::SortOrder order)
{
    sortColumn_ = column;
    sortOrder_ = order;
    const auto less = [column](const Row& a, const Row& b) {
        switch (column) {
        case Users:
            return a.users < b.users;
        case Topic:
            return a.topic.compare(b.topic, Qt::CaseInsensitive) < 0;
        default:
            return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
        }
    };
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    if (order == Qt::AscendingOrder) {
        std::stable_sort(rows_.begin(), rows_.end(), less);
    } else {
        std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) { return less(b, a); });
    }
    // No persistent indexes point into a listing: the selection is cleared with the layout.
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace tellix
