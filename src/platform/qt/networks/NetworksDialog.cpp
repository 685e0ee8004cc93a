#include "platform/qt/networks/NetworksDialog.h"

#include "app/Networks.h"
#include "platform/qt/networks/NetworkForm.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tellix {

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QPushButton* Button(const QString& text, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(name);
    return button;
}

// "Libera.Chat — irc.libera.chat:6697 TLS": the name, then where it connects first.
QString Entry(const Network& network)
{
    QString entry = Text(network.name);
    if (!network.servers.empty()) {
        const ServerPlace& first = network.servers.front();
        entry += QStringLiteral("  \u2014  %1:%2%3")
                     .arg(Text(first.host))
                     .arg(first.port)
                     .arg(first.tls ? QStringLiteral(" TLS") : QString());
    }
    return entry;
}

} // namespace

NetworksDialog::NetworksDialog(Networks& networks, Connect connectTo, QWidget* parent)
    : QDialog(parent), networks_(&networks), connectTo_(std::move(connectTo)), list_(new QListWidget(this)),
      add_(Button(QStringLiteral("&Add"), QStringLiteral("Add network"), this)),
      edit_(Button(QStringLiteral("&Edit..."), QStringLiteral("Edit network"), this)),
      remove_(Button(QStringLiteral("&Remove"), QStringLiteral("Remove network"), this)),
      up_(Button(QStringLiteral("&Up"), QStringLiteral("Move network up"), this)),
      down_(Button(QStringLiteral("&Down"), QStringLiteral("Move network down"), this)),
      connect_(Button(QStringLiteral("Co&nnect"), QStringLiteral("Connect to network"), this)),
      status_(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Networks"));
    list_->setAccessibleName(QStringLiteral("Saved networks"));
    status_->setAccessibleName(QStringLiteral("Problem"));
    status_->setWordWrap(true);

    auto* addMenu = new QMenu(add_);
    addMenu->setAccessibleName(QStringLiteral("Add network from"));
    connect(addMenu->addAction(QStringLiteral("&Blank Network")), &QAction::triggered, this,
            [this] { AddFrom({}); });
    addMenu->addSeparator();
    for (const Network& preset : Networks::Presets()) {
        const std::string name = preset.name;
        connect(addMenu->addAction(Text(name)), &QAction::triggered, this, [this, name] { AddFrom(name); });
    }
    add_->setMenu(addMenu);
    connect(edit_, &QPushButton::clicked, this, [this] { EditSelected(); });
    connect(list_, &QListWidget::itemActivated, this, [this] { EditSelected(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(up_, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(connect_, &QPushButton::clicked, this, [this] {
        const std::string name = Selected();
        if (!name.empty() && connectTo_) {
            // The command may do anything, close this dialog included: a copy of the name goes.
            const Connect connectTo = connectTo_;
            connectTo(name);
        }
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    changed_ = networks.Changed.connect([this] { Refill(); });

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {add_, edit_, remove_, up_, down_, connect_}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(list_, 1);
    row->addLayout(buttons);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(status_);
    layout->addWidget(close);
    resize(560, 360);
    Refill();
    list_->setCurrentRow(list_->count() > 0 ? 0 : -1);
}

NetworksDialog::~NetworksDialog() = default;

void NetworksDialog::Detach()
{
    changed_.Disconnect();
    networks_ = nullptr;
    if (form_) {
        form_->reject();
    }
    reject();
}

void NetworksDialog::Refill()
{
    if (networks_ == nullptr) {
        return;
    }
    const std::string selected = Selected();
    list_->clear();
    for (std::int32_t i = 1; i <= networks_->Count(); ++i) {
        list_->addItem(Entry(networks_->Item(i)));
        list_->item(i - 1)->setData(Qt::UserRole, Text(networks_->Item(i).name));
    }
    Select(selected);
    UpdateButtons();
}

void NetworksDialog::Select(const std::string& name)
{
    if (networks_ != nullptr && networks_->Position(name) > 0) {
        list_->setCurrentRow(networks_->Position(name) - 1);
    }
}

void NetworksDialog::Edit(const std::string& name)
{
    if (networks_ == nullptr || networks_->Find(name) == nullptr || form_ != nullptr) {
        return;
    }
    Select(name);
    EditSelected();
}

std::string NetworksDialog::Selected() const
{
    const QListWidgetItem* item = list_->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

void NetworksDialog::UpdateButtons()
{
    const int row = list_->currentRow();
    const bool any = row >= 0 && networks_ != nullptr;
    add_->setEnabled(networks_ != nullptr);
    edit_->setEnabled(any);
    remove_->setEnabled(any);
    connect_->setEnabled(any);
    up_->setEnabled(any && row > 0);
    down_->setEnabled(any && row + 1 < list_->count());
}

void NetworksDialog::AddFrom(const std::string& preset)
{
    if (networks_ == nullptr) {
        return;
    }
    status_->clear();
    const std::optional<Network> network =
        preset.empty() ? std::optional(networks_->Blank({}, {})) : networks_->FromPreset(preset);
    if (!network) {
        return;
    }
    form_ = new NetworkForm(
        *network,
        [this](const Network& added, const std::optional<std::string>& password) -> std::string {
            if (networks_ == nullptr) {
                return "the list of networks is gone";
            }
            if (std::string problem = networks_->Add(added); !problem.empty()) {
                return problem;
            }
            if (password) {
                networks_->SetPassword(added.name, *password);
            }
            Select(added.name);
            return {};
        },
        this);
    form_->setAttribute(Qt::WA_DeleteOnClose);
    form_->open();
}

void NetworksDialog::EditSelected()
{
    const std::string name = Selected();
    if (networks_ == nullptr || name.empty() || networks_->Find(name) == nullptr) {
        return;
    }
    status_->clear();
    form_ = new NetworkForm(
        *networks_->Find(name),
        [this, name](const Network& edited, const std::optional<std::string>& password) -> std::string {
            if (networks_ == nullptr) {
                return "the list of networks is gone";
            }
            if (std::string problem = networks_->Update(name, edited); !problem.empty()) {
                return problem;
            }
            if (password) {
                networks_->SetPassword(edited.name, *password);
            }
            Select(edited.name);
            return {};
        },
        this);
    form_->setAttribute(Qt::WA_DeleteOnClose);
    // The secret store may answer after the form opened.
    networks_->WhenPasswordKnown(name, [form = form_](const Network* known) {
        if (form && known != nullptr) {
            form->ShowPassword(known->password);
        }
    });
    form_->open();
}

void NetworksDialog::RemoveSelected()
{
    const std::string name = Selected();
    if (networks_ == nullptr || name.empty()) {
        return;
    }
    auto* ask = new QMessageBox(QMessageBox::Question, QStringLiteral("Remove Network"),
                                QStringLiteral("Remove the network %1 and its password?").arg(Text(name)),
                                QMessageBox::Yes | QMessageBox::No, this);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask, &QMessageBox::finished, this, [this, name](int answer) {
        if (answer != QMessageBox::Yes || networks_ == nullptr) {
            return;
        }
        const std::string problem = networks_->Remove(name);
        status_->setText(Text(problem));
    });
    ask->open();
}

void NetworksDialog::MoveSelected(int step)
{
    const std::string name = Selected();
    if (networks_ == nullptr || name.empty()) {
        return;
    }
    networks_->Move(name, networks_->Position(name) + step);
    Select(name);
}

} // namespace tellix
