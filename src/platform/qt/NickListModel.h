#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tellix {

// A window's nick list as the list view reads it. Appends are announced to the view once
// control is back in the event loop, as one insertion: a names reply appends by the ten
// thousand. Every other change is one row, and a refill one reset.
class NickListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit NickListModel(QObject* parent = nullptr);

    // Asked once per row when the view lays out a list of thousands: kept direct.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Clear();
    void Append(std::string_view nick);
    void Replace(std::int32_t row, std::string_view nick);
    void Remove(std::int32_t row);
    // Announces the appends still waiting; the view then shows every entry.
    void Publish();

private:
    std::deque<std::string> entries_; // grows without moving what it holds
    std::size_t published_ = 0;       // the rows the view has been told of
    bool publishPosted_ = false;
};

} // namespace tellix
