#pragma once

#include "platform/ChannelListView.h"

#include <QPointer>

class QLabel;
class QTableView;
class QWidget;

namespace tellix {

class ChannelListModel;

// The channel listing as a window of its own beside the main window: a table sortable by
// name, users or topic; a double-click joins the channel.
class ChannelListWindow final : public ChannelListView {
public:
    explicit ChannelListWindow(QWidget* mainWindow);
    ~ChannelListWindow() override;
    ChannelListWindow(const ChannelListWindow&) = delete;
    ChannelListWindow& operator=(const ChannelListWindow&) = delete;

    void Begin() override;
    void AddChannel(std::string_view name, std::uint64_t users, std::string_view topic) override;
    void End() override;

    // For tests.
    QWidget* Window() const { return window_; }
    QTableView* Table() const { return table_; }

private:
    QPointer<QWidget> window_;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    ChannelListModel* model_ = nullptr;
};

} // namespace tellix
