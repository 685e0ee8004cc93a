#include "platform/qt/QtConnectDialogView.h"

#include "platform/qt/TextDecoding.h"
#include "platform/qtcore/Boundary.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tellix {

namespace {

constexpr double kTwipsPerInch = 1440.0;

QString Text(std::string_view bytes)
{
    return DecodeForDisplay(bytes);
}

std::string Bytes(const QString& text)
{
    return text.toStdString();
}

} // namespace

// The form: its close box and Escape ask the core, which only hides it.
class QtConnectDialogView::Form final : public QDialog {
public:
    Form(QtConnectDialogView* view, QWidget* owner) : QDialog(owner), view_(view) {}
    void Forget() { view_ = nullptr; }

    // Twips to this screen's pixels.
    int Px(std::int32_t twips) const
    {
        return static_cast<int>(std::lround(twips * logicalDpiX() / kTwipsPerInch));
    }
    void Place(QWidget* control, std::int32_t left, std::int32_t top, std::int32_t width,
               std::int32_t height) const
    {
        control->setGeometry(Px(left), Px(top), Px(width), Px(height));
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        bool cancel = false;
        if (view_ != nullptr) {
            view_->RaiseQueryUnload(cancel);
        }
        if (cancel) {
            event->ignore();
        } else {
            QDialog::closeEvent(event);
        }
    }
    // Escape is the Close button.
    void reject() override
    {
        if (view_ != nullptr) {
            view_->RaiseClick(view_->Events.CloseClick, "close button");
        }
    }

private:
    QtConnectDialogView* view_;
};

QtConnectDialogView::QtConnectDialogView(QWidget* owner)
{
    form_ = new Form(this, owner);
    Form& form = *form_;
    form.setModal(false);
    // The form was laid out for an 8-point dialog font; its twips fit that size.
    QFont font = form.font();
    font.setPointSizeF(8);
    form.setFont(font);

    auto* fraServer = new QGroupBox(QStringLiteral("&Server"), &form);
    form.Place(fraServer, 0, 0, 4695, 3495);
    // The server box is a simple combo: its text above, its list below.
    auto* serverArea = new QWidget(fraServer);
    form.Place(serverArea, 120, 240, 4455, 1740);
    server_ = new QLineEdit(serverArea);
    servers_ = new QListWidget(serverArea);
    const int textHeight = server_->sizeHint().height();
    server_->setGeometry(0, 0, serverArea->width(), textHeight);
    servers_->setGeometry(0, textHeight, serverArea->width(), serverArea->height() - textHeight);
    QObject::connect(servers_, &QListWidget::currentTextChanged, server_,
                     [this](const QString& text) { server_->setText(text); });

    auto* fraUser = new QGroupBox(QStringLiteral("User"), fraServer);
    form.Place(fraUser, 120, 2040, 4455, 1335);
    auto* lblUserShort = new QLabel(QStringLiteral("S&hort"), fraUser);
    form.Place(lblUserShort, 120, 240, 375, 195);
    userShort_ = new QLineEdit(fraUser);
    form.Place(userShort_, 600, 240, 2535, 285);
    auto* lblUserLong = new QLabel(QStringLiteral("&Long"), fraUser);
    form.Place(lblUserLong, 120, 600, 360, 195);
    userLong_ = new QLineEdit(fraUser);
    form.Place(userLong_, 600, 600, 2535, 285);
    auto* lblNick = new QLabel(QStringLiteral("&Nick"), fraUser);
    form.Place(lblNick, 120, 960, 330, 195);
    nick_ = new QLineEdit(fraUser);
    form.Place(nick_, 600, 960, 2535, 285);
    invisible_ = new QCheckBox(QStringLiteral("&Invisible"), fraUser);
    form.Place(invisible_, 3240, 240, 1095, 255);
    wallop_ = new QCheckBox(QStringLiteral("&Wallop"), fraUser);
    form.Place(wallop_, 3240, 600, 1095, 255);
    // A label's access key focuses the text box after it. A label may grow to its text, up to
    // the box, so that no font cuts it short.
    for (auto [label, box] : {std::pair{lblUserShort, userShort_}, {lblUserLong, userLong_}, {lblNick, nick_}}) {
        label->setBuddy(box);
        const int room = box->x() - label->x() - 1;
        label->resize(std::max(label->width(), std::min(label->sizeHint().width(), room)), label->height());
    }

    // Beside the server frame, so that every older control keeps its place and its tab stop.
    auto* fraConnection = new QGroupBox(QStringLiteral("Connection"), &form);
    form.Place(fraConnection, 4800, 0, 4695, 3495);
    auto* lblPort = new QLabel(QStringLiteral("P&ort"), fraConnection);
    form.Place(lblPort, 120, 240, 375, 195);
    port_ = new QLineEdit(fraConnection);
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    form.Place(port_, 600, 240, 855, 285);
    tls_ = new QCheckBox(QStringLiteral("Use &TLS"), fraConnection);
    form.Place(tls_, 1560, 240, 1095, 255);
    reconnect_ = new QCheckBox(QStringLiteral("&Reconnect"), fraConnection);
    form.Place(reconnect_, 2760, 240, 1335, 255);
    auto* lblServerPassword = new QLabel(QStringLiteral("Server &password"), fraConnection);
    form.Place(lblServerPassword, 120, 600, 1815, 195);
    serverPassword_ = new QLineEdit(fraConnection);
    form.Place(serverPassword_, 1980, 600, 2595, 285);
    auto* lblAccount = new QLabel(QStringLiteral("&Account"), fraConnection);
    form.Place(lblAccount, 120, 960, 1815, 195);
    account_ = new QLineEdit(fraConnection);
    form.Place(account_, 1980, 960, 2595, 285);
    auto* lblAccountPassword = new QLabel(QStringLiteral("Account passwor&d"), fraConnection);
    form.Place(lblAccountPassword, 120, 1320, 1815, 195);
    accountPassword_ = new QLineEdit(fraConnection);
    form.Place(accountPassword_, 1980, 1320, 2595, 285);
    for (QLineEdit* secret : {serverPassword_, accountPassword_}) {
        secret->setEchoMode(QLineEdit::Password);
    }
    auto* lblCertificate = new QLabel(QStringLiteral("Client &certificate"), fraConnection);
    form.Place(lblCertificate, 120, 1680, 1815, 195);
    clientCertificate_ = new QLineEdit(fraConnection);
    clientCertificate_->setPlaceholderText(QStringLiteral("a PEM file with certificate and key"));
    form.Place(clientCertificate_, 1980, 1680, 1875, 285);
    browse_ = new QPushButton(QStringLiteral("&Browse"), fraConnection);
    form.Place(browse_, 3960, 1680, 615, 285);
    continueUnidentified_ = new QCheckBox(QStringLiteral("Stay connected when the login &fails"), fraConnection);
    form.Place(continueUnidentified_, 120, 2040, 4335, 255);
    for (auto [label, box] : {std::pair{lblPort, port_},
                              {lblServerPassword, serverPassword_},
                              {lblAccount, account_},
                              {lblAccountPassword, accountPassword_},
                              {lblCertificate, clientCertificate_}}) {
        label->setBuddy(box);
        const int room = box->x() - label->x() - 1;
        label->resize(std::max(label->width(), std::min(label->sizeHint().width(), room)), label->height());
    }
    QObject::connect(tls_, &QCheckBox::clicked, &form, [this] { RaiseClick(Events.TlsClick, "use TLS"); });
    // Not modal: the event loop, and with it every connection, goes on while the user chooses.
    QObject::connect(browse_, &QPushButton::clicked, &form, [this] {
        auto* chooser = new QFileDialog(form_, QStringLiteral("Client certificate"), clientCertificate_->text(),
                                        QStringLiteral("PEM files (*.pem);;All files (*)"));
        chooser->setAttribute(Qt::WA_DeleteOnClose);
        chooser->setFileMode(QFileDialog::ExistingFile);
        QObject::connect(chooser, &QFileDialog::fileSelected, clientCertificate_, &QLineEdit::setText);
        chooser->open();
    });

    connect_ = new QPushButton(QStringLiteral("Connect"), &form);
    form.Place(connect_, 0, 3600, 2055, 375);
    disconnect_ = new QPushButton(QStringLiteral("Disconnect"), &form);
    form.Place(disconnect_, 2160, 3600, 1815, 375);
    close_ = new QPushButton(QStringLiteral("Close"), &form);
    form.Place(close_, 4080, 3600, 615, 375);
    connect_->setDefault(true); // Enter connects; Escape closes (reject)
    QObject::connect(connect_, &QPushButton::clicked, &form,
                     [this] { RaiseClick(Events.ConnectClick, "connect"); });
    QObject::connect(disconnect_, &QPushButton::clicked, &form,
                     [this] { RaiseClick(Events.DisconnectClick, "disconnect"); });
    QObject::connect(close_, &QPushButton::clicked, &form,
                     [this] { RaiseClick(Events.CloseClick, "close button"); });

    QWidget::setTabOrder(server_, servers_);
    QWidget::setTabOrder(servers_, userShort_);
    QWidget::setTabOrder(userShort_, userLong_);
    QWidget::setTabOrder(userLong_, nick_);
    QWidget::setTabOrder(nick_, invisible_);
    QWidget::setTabOrder(invisible_, wallop_);
    QWidget::setTabOrder(wallop_, connect_);
    QWidget::setTabOrder(connect_, disconnect_);
    QWidget::setTabOrder(disconnect_, close_);
    QWidget::setTabOrder(close_, port_);
    QWidget::setTabOrder(port_, tls_);
    QWidget::setTabOrder(tls_, reconnect_);
    QWidget::setTabOrder(reconnect_, serverPassword_);
    QWidget::setTabOrder(serverPassword_, account_);
    QWidget::setTabOrder(account_, accountPassword_);
    QWidget::setTabOrder(accountPassword_, clientCertificate_);
    QWidget::setTabOrder(clientCertificate_, browse_);
    QWidget::setTabOrder(browse_, continueUnidentified_);

    form.setFixedSize(form.Px(9495) + 1, form.Px(3975) + 1);
}

QtConnectDialogView::~QtConnectDialogView()
{
    LetGoLater(form_.data());
}

QWidget* QtConnectDialogView::Dialog() const
{
    return form_.data();
}

void QtConnectDialogView::RaiseQueryUnload(bool& cancel)
{
    const std::int32_t mode = unloading_ ? 1 : 0;
    AtBoundary("connect dialog close request", [&] { Events.QueryUnload.raise(cancel, mode); });
}

void QtConnectDialogView::RaiseClick(const Event<>& click, const char* where)
{
    AtBoundary(where, [&] { click.raise(); });
}

void QtConnectDialogView::SetCaption(const std::string& caption)
{
    form_->setWindowTitle(Text(caption));
}

void QtConnectDialogView::MoveTo(std::int32_t leftTwips, std::int32_t topTwips)
{
    form_->move(form_->Px(leftTwips), form_->Px(topTwips));
}

void QtConnectDialogView::Show()
{
    form_->show();
}

void QtConnectDialogView::Hide()
{
    form_->hide();
}

bool QtConnectDialogView::Visible() const
{
    return !form_->isHidden();
}

void QtConnectDialogView::SetVisible(bool visible)
{
    form_->setVisible(visible);
}

void QtConnectDialogView::BringToFront()
{
    form_->show();
    form_->raise();
    form_->activateWindow();
}

void QtConnectDialogView::Unload()
{
    unloading_ = true;
    form_->close();
}

std::string QtConnectDialogView::ServerText() const
{
    return Bytes(server_->text());
}

void QtConnectDialogView::SetServerText(std::string_view text)
{
    server_->setText(Text(text));
}

void QtConnectDialogView::ClearServers()
{
    servers_->clear();
}

void QtConnectDialogView::AddServer(std::string_view server, std::int32_t itemData)
{
    auto* item = new QListWidgetItem(Text(server), servers_);
    item->setData(Qt::UserRole, itemData);
}

std::string QtConnectDialogView::UserShort() const
{
    return Bytes(userShort_->text());
}

void QtConnectDialogView::SetUserShort(std::string_view text)
{
    userShort_->setText(Text(text));
}

std::string QtConnectDialogView::UserLong() const
{
    return Bytes(userLong_->text());
}

void QtConnectDialogView::SetUserLong(std::string_view text)
{
    userLong_->setText(Text(text));
}

std::string QtConnectDialogView::Nick() const
{
    return Bytes(nick_->text());
}

void QtConnectDialogView::SetNick(std::string_view text)
{
    nick_->setText(Text(text));
}

std::int32_t QtConnectDialogView::Invisible() const
{
    return invisible_->isChecked() ? 1 : 0;
}

void QtConnectDialogView::SetInvisible(std::int32_t value)
{
    invisible_->setChecked(value != 0);
}

std::int32_t QtConnectDialogView::Wallop() const
{
    return wallop_->isChecked() ? 1 : 0;
}

void QtConnectDialogView::SetWallop(std::int32_t value)
{
    wallop_->setChecked(value != 0);
}

ConnectFields QtConnectDialogView::Fields() const
{
    ConnectFields fields;
    fields.port = Bytes(port_->text());
    fields.tls = tls_->isChecked();
    fields.serverPassword = Bytes(serverPassword_->text());
    fields.account = Bytes(account_->text());
    fields.accountPassword = Bytes(accountPassword_->text());
    fields.clientCertificate = Bytes(clientCertificate_->text());
    fields.reconnect = reconnect_->isChecked();
    fields.continueUnidentified = continueUnidentified_->isChecked();
    return fields;
}

void QtConnectDialogView::SetFields(const ConnectFields& fields)
{
    port_->setText(Text(fields.port));
    tls_->setChecked(fields.tls);
    serverPassword_->setText(Text(fields.serverPassword));
    account_->setText(Text(fields.account));
    accountPassword_->setText(Text(fields.accountPassword));
    clientCertificate_->setText(Text(fields.clientCertificate));
    reconnect_->setChecked(fields.reconnect);
    continueUnidentified_->setChecked(fields.continueUnidentified);
}

} // namespace tellix
