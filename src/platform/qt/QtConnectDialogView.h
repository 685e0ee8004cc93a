#pragma once

#include "platform/ConnectDialogView.h"

#include <QPointer>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace tellix {

// The connect dialog as a modeless QDialog with every control at its twips position, scaled
// with the screen's logical DPI (1,440 twips to the inch).
class QtConnectDialogView final : public ConnectDialogView {
public:
    explicit QtConnectDialogView(QWidget* owner);
    ~QtConnectDialogView() override;
    QtConnectDialogView(const QtConnectDialogView&) = delete;
    QtConnectDialogView& operator=(const QtConnectDialogView&) = delete;

    void SetCaption(const std::string& caption) override;
    void MoveTo(std::int32_t leftTwips, std::int32_t topTwips) override;
    void Show() override;
    void Hide() override;
    bool Visible() const override;
    void SetVisible(bool visible) override;
    void BringToFront() override;
    void Unload() override;

    std::string ServerText() const override;
    void SetServerText(std::string_view text) override;
    void ClearServers() override;
    void AddServer(std::string_view server, std::int32_t itemData) override;
    std::string UserShort() const override;
    void SetUserShort(std::string_view text) override;
    std::string UserLong() const override;
    void SetUserLong(std::string_view text) override;
    std::string Nick() const override;
    void SetNick(std::string_view text) override;
    std::int32_t Invisible() const override;
    void SetInvisible(std::int32_t value) override;
    std::int32_t Wallop() const override;
    void SetWallop(std::int32_t value) override;
    ConnectFields Fields() const override;
    void SetFields(const ConnectFields& fields) override;

    class Form;
    // For the front-end and its tests.
    QWidget* Dialog() const;
    QLineEdit* ServerBox() const { return server_; }
    QListWidget* ServerList() const { return servers_; }
    QLineEdit* NickBox() const { return nick_; }
    QLineEdit* UserShortBox() const { return userShort_; }
    QLineEdit* UserLongBox() const { return userLong_; }
    QCheckBox* InvisibleBox() const { return invisible_; }
    QCheckBox* WallopBox() const { return wallop_; }
    QLineEdit* PortBox() const { return port_; }
    QCheckBox* TlsBox() const { return tls_; }
    QLineEdit* ServerPasswordBox() const { return serverPassword_; }
    QLineEdit* AccountBox() const { return account_; }
    QLineEdit* AccountPasswordBox() const { return accountPassword_; }
    QLineEdit* ClientCertificateBox() const { return clientCertificate_; }
    QPushButton* BrowseButton() const { return browse_; }
    QCheckBox* ReconnectBox() const { return reconnect_; }
    QCheckBox* ContinueUnidentifiedBox() const { return continueUnidentified_; }
    QPushButton* ConnectButton() const { return connect_; }
    QPushButton* DisconnectButton() const { return disconnect_; }
    QPushButton* CloseButton() const { return close_; }

private:
    friend class Form;
    void RaiseQueryUnload(bool& cancel);
    void RaiseClick(const Event<>& click, const char* where);

    QPointer<Form> form_;
    QLineEdit* server_ = nullptr;
    QListWidget* servers_ = nullptr;
    QLineEdit* userShort_ = nullptr;
    QLineEdit* userLong_ = nullptr;
    QLineEdit* nick_ = nullptr;
    QCheckBox* invisible_ = nullptr;
    QCheckBox* wallop_ = nullptr;
    QLineEdit* port_ = nullptr;
    QCheckBox* tls_ = nullptr;
    QLineEdit* serverPassword_ = nullptr;
    QLineEdit* account_ = nullptr;
    QLineEdit* accountPassword_ = nullptr;
    QLineEdit* clientCertificate_ = nullptr;
    QPushButton* browse_ = nullptr;
    QCheckBox* reconnect_ = nullptr;
    QCheckBox* continueUnidentified_ = nullptr;
    QPushButton* connect_ = nullptr;
    QPushButton* disconnect_ = nullptr;
    QPushButton* close_ = nullptr;
    bool unloading_ = false;
};

} // namespace tellix
