#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace tellix {

// The rows of a channel listing: name, users, topic. Rows come one by one at the end while
// the server lists; a sort orders them in place (the view asks for it on a header click) and
// stays in force for the rows that follow once the listing ends.
class ChannelListModel final : public QAbstractTableModel {
public:
    enum Column { Name = 0, Users = 1, Topic = 2 };

    using QAbstractTableModel::QAbstractTableModel;

    void Clear();
    void Append(std::string name, std::uint64_t users, const QString& topic);
    // Sorts again by the last sort asked for (after the listing, whose rows came unsorted).
    void Resort();
    // The channel's name as the server sent it, for joining it.
    const std::string& NameAt(int row) const { return rows_[static_cast<std::size_t>(row)].bytes; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    struct Row {
        std::string bytes;
        QString name;
        std::uint64_t users = 0;
        QString topic;
    };
    std::vector<Row> rows_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

} // namespace tellix
