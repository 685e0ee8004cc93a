#include "platform/qt/networks/NetworkForm.h"

#include "app/Networks.h"
#include "net/ServerTrust.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tellix {

namespace {

enum Column { kHost, kPort, kTls };

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string Bytes(const QString& text)
{
    return text.toStdString();
}

template <class Widget> Widget* Named(Widget* widget, const QString& name)
{
    widget->setAccessibleName(name);
    return widget;
}

} // namespace

NetworkForm::NetworkForm(const Network& network, Save save, QWidget* parent)
    : QDialog(parent), save_(std::move(save)), name_(Named(new QLineEdit(this), QStringLiteral("Network name"))),
      servers_(Named(new QTableWidget(0, 3, this), QStringLiteral("Servers"))),
      addServer_(Named(new QPushButton(QStringLiteral("Add s&erver"), this), QStringLiteral("Add server"))),
      removeServer_(
          Named(new QPushButton(QStringLiteral("Rem&ove server"), this), QStringLiteral("Remove server"))),
      nick_(Named(new QLineEdit(this), QStringLiteral("Nick"))),
      altNicks_(Named(new QLineEdit(this), QStringLiteral("Alternative nicks"))),
      user_(Named(new QLineEdit(this), QStringLiteral("User name"))),
      realName_(Named(new QLineEdit(this), QStringLiteral("Real name"))),
      login_(Named(new QComboBox(this), QStringLiteral("Login"))),
      account_(Named(new QLineEdit(this), QStringLiteral("Account"))),
      password_(Named(new QLineEdit(this), QStringLiteral("Password"))),
      certificate_(Named(new QLineEdit(this), QStringLiteral("Client certificate"))),
      autojoin_(Named(new QLineEdit(this), QStringLiteral("Channels to join"))),
      commands_(Named(new QPlainTextEdit(this), QStringLiteral("Commands after connecting"))),
      autoconnect_(Named(new QCheckBox(QStringLiteral("Connect when Tellix &starts"), this),
                         QStringLiteral("Connect when Tellix starts"))),
      reconnect_(Named(new QCheckBox(QStringLiteral("Reconnect when the lin&k is lost"), this),
                       QStringLiteral("Reconnect when the link is lost"))),
      status_(Named(new QLabel(this), QStringLiteral("Problem")))
{
    setWindowTitle(network.name.empty() ? QStringLiteral("New Network")
                                        : QStringLiteral("Network %1").arg(Text(network.name)));
    name_->setText(Text(network.name));
    servers_->setHorizontalHeaderLabels({QStringLiteral("Host"), QStringLiteral("Port"), QStringLiteral("TLS")});
    servers_->horizontalHeader()->setSectionResizeMode(kHost, QHeaderView::Stretch);
    servers_->verticalHeader()->hide();
    servers_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const ServerPlace& server : network.servers) {
        AddServerRow(server);
    }
    connect(addServer_, &QPushButton::clicked, this, [this] {
        AddServerRow({{}, TlsPort, true});
        // Typing starts editing the new row's host.
        servers_->setCurrentCell(servers_->rowCount() - 1, kHost);
        servers_->setFocus();
    });
    connect(removeServer_, &QPushButton::clicked, this, [this] {
        if (servers_->currentRow() >= 0) {
            servers_->removeRow(servers_->currentRow());
        }
    });
    // Turning TLS on or off moves a server on the usual port to the other kind's.
    connect(servers_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() != kTls || servers_->item(item->row(), kPort) == nullptr) {
            return;
        }
        QTableWidgetItem* port = servers_->item(item->row(), kPort);
        bool number = false;
        const int value = port->text().toInt(&number);
        if (number) {
            port->setText(QString::number(PortForTls(value, item->checkState() == Qt::Checked)));
        }
    });

    nick_->setText(Text(network.nick));
    std::string altNicks;
    for (const std::string& nick : network.altNicks) {
        altNicks += (altNicks.empty() ? "" : " ") + nick;
    }
    altNicks_->setText(Text(altNicks));
    altNicks_->setPlaceholderText(QStringLiteral("tried in order when the nick is taken"));
    user_->setText(Text(network.user));
    realName_->setText(Text(network.realName));
    for (const auto& [login, shown] :
         {std::pair{NetworkLogin::None, "None"}, std::pair{NetworkLogin::Plain, "SASL account and password"},
          std::pair{NetworkLogin::External, "SASL client certificate"},
          std::pair{NetworkLogin::Pass, "Server password"},
          std::pair{NetworkLogin::NickServ, "NickServ IDENTIFY"}}) {
        login_->addItem(QString::fromUtf8(shown), static_cast<int>(login));
    }
    login_->setCurrentIndex(login_->findData(static_cast<int>(network.login)));
    account_->setText(Text(network.account));
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(QStringLiteral("kept in the desktop's secret store"));
    certificate_->setText(Text(network.clientCertificate));
    certificate_->setPlaceholderText(QStringLiteral("a PEM file with the certificate and its key"));
    connect(login_, &QComboBox::currentIndexChanged, this, [this] { LoginChanged(); });
    LoginChanged();
    autojoin_->setText(Text(AutojoinText(network.autojoin)));
    autojoin_->setPlaceholderText(QStringLiteral("#channel,#other key"));
    QStringList lines;
    for (const std::string& line : network.commands) {
        lines << Text(line);
    }
    commands_->setPlainText(lines.join('\n'));
    commands_->setPlaceholderText(QStringLiteral("typed lines, one per line, such as /mode $nick +i"));
    autoconnect_->setChecked(network.autoconnect);
    reconnect_->setChecked(network.reconnect);
    status_->setWordWrap(true);

    auto* serverButtons = new QHBoxLayout;
    serverButtons->addWidget(addServer_);
    serverButtons->addWidget(removeServer_);
    serverButtons->addStretch(1);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("N&ame:"), name_);
    auto* serversLabel = new QLabel(QStringLiteral("Ser&vers:"));
    serversLabel->setBuddy(servers_);
    form->addRow(serversLabel, servers_);
    form->addRow(QString(), serverButtons);
    form->addRow(QStringLiteral("&Nick:"), nick_);
    form->addRow(QStringLiteral("A&lternative nicks:"), altNicks_);
    form->addRow(QStringLiteral("&User name:"), user_);
    form->addRow(QStringLiteral("&Real name:"), realName_);
    form->addRow(QStringLiteral("Lo&gin:"), login_);
    form->addRow(QStringLiteral("A&ccount:"), account_);
    form->addRow(QStringLiteral("&Password:"), password_);
    form->addRow(QStringLiteral("Cer&tificate:"), certificate_);
    form->addRow(QStringLiteral("&Join channels:"), autojoin_);
    form->addRow(QStringLiteral("Co&mmands:"), commands_);
    form->addRow(autoconnect_);
    form->addRow(reconnect_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(status_);
    layout->addWidget(buttons);
}

void NetworkForm::ShowPassword(const std::string& password)
{
    if (!password_->isModified() && password_->text().isEmpty()) {
        password_->setText(Text(password));
    }
}

void NetworkForm::AddServerRow(const ServerPlace& server)
{
    const int row = servers_->rowCount();
    servers_->insertRow(row);
    servers_->setItem(row, kHost, new QTableWidgetItem(Text(server.host)));
    servers_->setItem(row, kPort, new QTableWidgetItem(QString::number(server.port)));
    auto* tls = new QTableWidgetItem;
    tls->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    tls->setCheckState(server.tls ? Qt::Checked : Qt::Unchecked);
    servers_->setItem(row, kTls, tls);
}

void NetworkForm::LoginChanged()
{
    const LoginFields fields = FieldsOf(static_cast<NetworkLogin>(login_->currentData().toInt()));
    account_->setEnabled(fields.account);
    password_->setEnabled(fields.password);
    certificate_->setEnabled(fields.certificate);
}

std::optional<Network> NetworkForm::Read(std::string& problem) const
{
    Network network;
    network.name = Bytes(name_->text().trimmed());
    for (int row = 0; row < servers_->rowCount(); ++row) {
        const QString host =
            servers_->item(row, kHost) != nullptr ? servers_->item(row, kHost)->text().trimmed() : "";
        if (host.isEmpty()) {
            continue; // a row added and left empty
        }
        bool number = false;
        const int port =
            servers_->item(row, kPort) != nullptr ? servers_->item(row, kPort)->text().toInt(&number) : 0;
        if (!number) {
            problem = "a port is a whole number from 1 to 65535";
            return std::nullopt;
        }
        network.servers.push_back({Bytes(host), port, servers_->item(row, kTls)->checkState() == Qt::Checked});
    }
    network.nick = Bytes(nick_->text().trimmed());
    const auto altNicks = ParseNicks(Bytes(altNicks_->text()), problem);
    if (!altNicks) {
        return std::nullopt;
    }
    network.altNicks = *altNicks;
    network.user = Bytes(user_->text().trimmed());
    network.realName = Bytes(realName_->text());
    network.login = static_cast<NetworkLogin>(login_->currentData().toInt());
    network.account = Bytes(account_->text().trimmed());
    network.clientCertificate = Bytes(certificate_->text().trimmed());
    const auto autojoin = ParseAutojoin(Bytes(autojoin_->text()), problem);
    if (!autojoin) {
        return std::nullopt;
    }
    network.autojoin = *autojoin;
    for (const QString& line : commands_->toPlainText().split('\n')) {
        network.commands.push_back(Bytes(line));
    }
    network.autoconnect = autoconnect_->isChecked();
    network.reconnect = reconnect_->isChecked();
    return network;
}

void NetworkForm::accept()
{
    std::string problem;
    const std::optional<Network> network = Read(problem);
    if (network) {
        const std::optional<std::string> password =
            password_->isModified() ? std::optional(Bytes(password_->text())) : std::nullopt;
        problem = save_(*network, password);
    }
    if (!problem.empty()) {
        status_->setText(Text(problem));
        return;
    }
    QDialog::accept();
}

} // namespace tellix
