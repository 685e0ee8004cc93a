#pragma once

#include "app/Network.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tellix {

// One saved network's fields to edit: its servers as rows of host, port and TLS, the nicks, the
// login with only the fields its kind reads enabled, the channels and commands after the welcome.
// OK hands what the form holds to `save`, and stays open with the reason where it cannot be kept.
class NetworkForm final : public QDialog {
public:
    // Keeps `network`, and the password where the user typed one; empty text when it did.
    using Save = std::function<std::string(const Network& network, const std::optional<std::string>& password)>;
    NetworkForm(const Network& network, Save save, QWidget* parent);

    // The password once the secret store has answered; a password typed meanwhile stays.
    void ShowPassword(const std::string& password);

    QLineEdit* NameBox() const { return name_; }
    // Host, port and a checkable TLS cell per server.
    QTableWidget* ServersTable() const { return servers_; }
    QPushButton* AddServerButton() const { return addServer_; }
    QPushButton* RemoveServerButton() const { return removeServer_; }
    QLineEdit* NickBox() const { return nick_; }
    QLineEdit* AltNicksBox() const { return altNicks_; }
    QLineEdit* UserBox() const { return user_; }
    QLineEdit* RealNameBox() const { return realName_; }
    QComboBox* LoginBox() const { return login_; }
    QLineEdit* AccountBox() const { return account_; }
    QLineEdit* PasswordBox() const { return password_; }
    QLineEdit* CertificateBox() const { return certificate_; }
    QLineEdit* AutojoinBox() const { return autojoin_; }
    // One command per line.
    QPlainTextEdit* CommandsBox() const { return commands_; }
    QCheckBox* AutoconnectBox() const { return autoconnect_; }
    QCheckBox* ReconnectBox() const { return reconnect_; }
    // Why OK could not keep the network.
    QLabel* StatusLabel() const { return status_; }

    void accept() override;

private:
    void AddServerRow(const ServerPlace& server);
    void LoginChanged();
    // The network as the form holds it; none, with the reason, where a field reads as nothing.
    std::optional<Network> Read(std::string& problem) const;

    Save save_;
    QLineEdit* name_;
    QTableWidget* servers_;
    QPushButton* addServer_;
    QPushButton* removeServer_;
    QLineEdit* nick_;
    QLineEdit* altNicks_;
    QLineEdit* user_;
    QLineEdit* realName_;
    QComboBox* login_;
    QLineEdit* account_;
    QLineEdit* password_;
    QLineEdit* certificate_;
    QLineEdit* autojoin_;
    QPlainTextEdit* commands_;
    QCheckBox* autoconnect_;
    QCheckBox* reconnect_;
    QLabel* status_;
};

} // namespace tellix
