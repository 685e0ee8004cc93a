#include "platform/qt/QtConnectDialogView.h"

#include "platform/qtcore/Boundary.h"
#include "platform/qt/TextDecoding.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

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

    form.setFixedSize(form.Px(4695) + 1, form.Px(3975) + 1);
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

} // namespace tellix
