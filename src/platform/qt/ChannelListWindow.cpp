#include "platform/qt/ChannelListWindow.h"

#include "platform/qt/ChannelListModel.h"
#include "platform/qt/TextDecoding.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>

namespace tellix {

ChannelListWindow::ChannelListWindow(QWidget* mainWindow) : window_(new QWidget(mainWindow, Qt::Window))
{
    window_->setWindowTitle(QStringLiteral("Channel List"));
    window_->resize(640, 480);
    auto* layout = new QVBoxLayout(window_);
    status_ = new QLabel(window_);
    table_ = new QTableView(window_);
    model_ = new ChannelListModel(table_);
    table_->setModel(model_);
    // By name until the user clicks another header.
    table_->horizontalHeader()->setSortIndicator(ChannelListModel::Name, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    table_->horizontalHeader()->setSortIndicatorShown(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    layout->addWidget(status_);
    layout->addWidget(table_);
    QObject::connect(table_, &QTableView::doubleClicked, table_, [this](const QModelIndex& index) {
        if (index.isValid()) {
            const std::string name = model_->NameAt(index.row());
            Events.Join.raise(name);
        }
    });
}

ChannelListWindow::~ChannelListWindow()
{
    if (window_) {
        window_->deleteLater();
    }
}

void ChannelListWindow::Begin()
{
    if (!window_) {
        return;
    }
    model_->Clear();
    status_->setText(QStringLiteral("Listing..."));
    window_->show();
    window_->raise();
}

void ChannelListWindow::AddChannel(std::string_view name, std::uint64_t users, std::string_view topic)
{
    if (window_) {
        model_->Append(std::string(name), users, DecodeForDisplay(topic));
    }
}

void ChannelListWindow::End()
{
    if (!window_) {
        return;
    }
    model_->Resort();
    status_->setText(QStringLiteral("%1 channels").arg(model_->rowCount()));
}

} // namespace tellix
