#include "platform/qt/NickListModel.h"

#include "platform/qt/TextDecoding.h"

#include <QTimer>

namespace tellix {

NickListModel::NickListModel(QObject* parent) : QAbstractListModel(parent) {}

QModelIndex NickListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || static_cast<std::size_t>(row) >= published_) {
        return {};
    }
    return createIndex(row, column);
}

int NickListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(published_);
}

QVariant NickListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= published_) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return DecodeForDisplay(entries_[static_cast<std::size_t>(index.row())]);
    }
    return {};
}

void NickListModel::Clear()
{
    beginResetModel();
    entries_.clear();
    published_ = 0;
    endResetModel();
}

void NickListModel::Append(std::string_view nick)
{
    entries_.emplace_back(nick);
    if (!publishPosted_) {
        publishPosted_ = true;
        QTimer::singleShot(0, this, [this] { Publish(); });
    }
}

void NickListModel::Replace(std::int32_t row, std::string_view nick)
{
    const auto at = static_cast<std::size_t>(row);
    entries_.at(at) = nick;
    if (at < published_) {
        const QModelIndex changed = index(row);
        Q_EMIT dataChanged(changed, changed);
    }
}

void NickListModel::Remove(std::int32_t row)
{
    const auto at = static_cast<std::size_t>(row);
    (void)entries_.at(at);
    Publish(); // positions count in the whole list from here on
    beginRemoveRows(QModelIndex(), row, row);
    entries_.erase(entries_.begin() + row);
    published_ = entries_.size();
    endRemoveRows();
}

void NickListModel::Publish()
{
    publishPosted_ = false;
    if (published_ == entries_.size()) {
        return;
    }
    beginInsertRows(QModelIndex(), static_cast<int>(published_), static_cast<int>(entries_.size()) - 1);
    published_ = entries_.size();
    endInsertRows();
}

} // namespace tellix
