#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// A window's nick list as the list view reads it. Appends are announced to the view once
// control is back in the event loop, as one insertion: a names reply appends by the ten
// thousand. Every other change is one row, and a refill one reset.
class NickListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit NickListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Clear();
    void Append(std::string_view nick);
    void Replace(std::int32_t row, std::string_view nick);
    void Remove(std::int32_t row);
    // Announces the appends still waiting; the view then shows every entry.
    void Publish();

private:
    std::vector<std::string> entries_;
    std::size_t published_ = 0; // the rows the view has been told of
    bool publishPosted_ = false;
};

} // namespace tellix
