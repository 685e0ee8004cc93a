// The connect dialog's Qt form: controls at their twips places, access keys, tab order, and
// the keys a dialog answers.
#include "dialog/ConnectDialog.h"
#include "platform/qt/QtConnectDialogView.h"
#include "platform/qt/QtToolkit.h"
#include "support/QtLoop.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace tellix::test {
namespace {

TEST(ConnectDialogView, ControlsSitAtTheirTwipsPlacesInTabOrderAndTheKeysWork)
{
    EnsureGuiApplication();
    QtConnectDialogView view(nullptr);
    QWidget& dialog = *view.Dialog();
    const double perTwip = dialog.logicalDpiX() / 1440.0;
    auto px = [&](int twips) { return static_cast<int>(std::lround(twips * perTwip)); };

    // Places relative to the form, as the table gives them through the frames.
    struct Row {
        QWidget* control;
        int left, top, width, height;
    };
    const std::vector<Row> rows = {
        {view.UserShortBox(), 120 + 600, 2040 + 240, 2535, 285},
        {view.UserLongBox(), 120 + 600, 2040 + 600, 2535, 285},
        {view.NickBox(), 120 + 600, 2040 + 960, 2535, 285},
        {view.InvisibleBox(), 120 + 3240, 2040 + 240, 1095, 255},
        {view.WallopBox(), 120 + 3240, 2040 + 600, 1095, 255},
        {view.ConnectButton(), 0, 3600, 2055, 375},
        {view.DisconnectButton(), 2160, 3600, 1815, 375},
        {view.CloseButton(), 4080, 3600, 615, 375},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control->metaObject()->className());
        const QPoint at = row.control->mapTo(&dialog, QPoint(0, 0));
        EXPECT_NEAR(at.x(), px(row.left), 2);
        EXPECT_NEAR(at.y(), px(row.top), 2);
        EXPECT_NEAR(row.control->width(), px(row.width), 1);
        EXPECT_NEAR(row.control->height(), px(row.height), 1);
    }
    EXPECT_EQ(view.ConnectButton()->text(), "Connect");
    EXPECT_TRUE(view.ConnectButton()->isDefault());

    // Tab walks the fields in the documented order.
    const std::vector<QWidget*> order = {
        view.ServerBox(),    view.ServerList(), view.UserShortBox(),  view.UserLongBox(),      view.NickBox(),
        view.InvisibleBox(), view.WallopBox(),  view.ConnectButton(), view.DisconnectButton(), view.CloseButton()};
    auto nextTabStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while (next != from && (next->focusPolicy() & Qt::TabFocus) == 0) {
            next = next->nextInFocusChain();
        }
        return next;
    };
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        EXPECT_EQ(nextTabStop(order[i]), order[i + 1]) << i;
    }
    // Each label's access key goes to the box after it.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
        // and nothing cuts its text short
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }

    int closes = 0;
    int connects = 0;
    Subscription close = view.Events.CloseClick.connect([&] { ++closes; });
    Subscription connect = view.Events.ConnectClick.connect([&] { ++connects; });
    view.Show();
    ASSERT_TRUE(PumpUntil([&] { return dialog.isVisible(); }));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(dialog.isVisible()) << "only the core decides to hide it";
    view.NickBox()->setFocus();
    QTest::keyClick(view.NickBox(), Qt::Key_Return);
    EXPECT_EQ(connects, 1);

    if (const char* shot = std::getenv("TELLIX_SCREENSHOT")) {
        view.SetNick("user|Tellix");
        view.SetUserShort("Tellix_user");
        view.SetUserLong("Tellix user");
        view.SetInvisible(1);
        view.AddServer("irc.libera.chat", 1);
        view.SetServerText("irc.libera.chat");
        PumpFor(std::chrono::milliseconds(300));
        dialog.grab().save(QString::fromLocal8Bit(shot));
        if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
            PumpFor(std::chrono::milliseconds(std::atoi(pause)));
        }
    }

    // The server list's entries carry their numbers and pick the text.
    view.ClearServers();
    view.AddServer("irc.one", 1);
    view.AddServer("irc.two", 2);
    EXPECT_EQ(view.ServerList()->item(1)->data(Qt::UserRole).toInt(), 2);
    view.ServerList()->setCurrentRow(1);
    EXPECT_EQ(view.ServerText(), "irc.two");
}

TEST(ConnectDialogView, TheConnectionFieldsRoundTripHidePasswordsAndUseTlsIsReported)
{
    EnsureGuiApplication();
    QtConnectDialogView view(nullptr);
    QWidget& dialog = *view.Dialog();

    ConnectFields fields;
    fields.port = "6697";
    fields.tls = true;
    fields.serverPassword = "bouncer-secret";
    fields.account = "anna";
    fields.accountPassword = "account-secret";
    fields.clientCertificate = "/home/anna/anna.pem";
    fields.reconnect = true;
    fields.continueUnidentified = true;
    view.SetFields(fields);
    const ConnectFields back = view.Fields();
    EXPECT_EQ(back.port, "6697");
    EXPECT_TRUE(back.tls);
    EXPECT_EQ(back.serverPassword, "bouncer-secret");
    EXPECT_EQ(back.account, "anna");
    EXPECT_EQ(back.accountPassword, "account-secret");
    EXPECT_EQ(back.clientCertificate, "/home/anna/anna.pem");
    EXPECT_TRUE(back.reconnect);
    EXPECT_TRUE(back.continueUnidentified);
    EXPECT_EQ(view.ServerPasswordBox()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(view.AccountPasswordBox()->echoMode(), QLineEdit::Password);

    // The new controls come after the older ones, which keep their order.
    const std::vector<QWidget*> order = {view.CloseButton(),
                                         view.PortBox(),
                                         view.TlsBox(),
                                         view.ReconnectBox(),
                                         view.ServerPasswordBox(),
                                         view.AccountBox(),
                                         view.AccountPasswordBox(),
                                         view.ClientCertificateBox(),
                                         view.BrowseButton(),
                                         view.ContinueUnidentifiedBox()};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while ((next->focusPolicy() & Qt::TabFocus) == 0) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, order[i + 1]) << i;
    }

    // A click on "Use TLS" is the user's and is told to the core; a port typed is kept as typed.
    int clicks = 0;
    bool tlsAtClick = true;
    Subscription watch = view.Events.TlsClick.connect([&] {
        ++clicks;
        tlsAtClick = view.Fields().tls;
    });
    view.Show();
    ASSERT_TRUE(PumpUntil([&] { return dialog.isVisible(); }));
    QTest::mouseClick(view.TlsBox(), Qt::LeftButton, {}, QPoint(4, view.TlsBox()->height() / 2));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(tlsAtClick);
    view.PortBox()->clear();
    QTest::keyClicks(view.PortBox(), "6x69 7");
    EXPECT_EQ(view.Fields().port, "6697") << "the box takes digits only";
}

TEST(ConnectDialogView, TogglingUseTlsSwitchesTheUsualPortThroughTheCore)
{
    EnsureGuiApplication();
    QtToolkit toolkit;
    const auto mainWindow = toolkit.CreateMainWindowView(); // the dialog's owner
    ConnectDialog dialog(toolkit);
    auto& view = *static_cast<QtConnectDialogView*>(dialog.Window());
    ConnectFields fields = view.Fields();
    fields.port = "6697";
    fields.tls = true;
    view.SetFields(fields);
    view.Show();
    ASSERT_TRUE(PumpUntil([&] { return view.Dialog()->isVisible(); }));
    QTest::mouseClick(view.TlsBox(), Qt::LeftButton, {}, QPoint(4, view.TlsBox()->height() / 2));
    EXPECT_EQ(view.PortBox()->text(), "6667");
    QTest::mouseClick(view.TlsBox(), Qt::LeftButton, {}, QPoint(4, view.TlsBox()->height() / 2));
    EXPECT_EQ(view.PortBox()->text(), "6697");
}

} // namespace
} // namespace tellix::test

namespace tellix::test {
namespace {

TEST(TrustDialog, ShowsTheCertificateAsPlainTextAndOnlyTrustsWhenAsked)
{
    EnsureGuiApplication();
    QtToolkit toolkit;
    const auto mainWindow = toolkit.CreateMainWindowView();
    CertificateRefusal refusal{
        "The certificate is self-signed, and untrusted",
        "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:"
        "23:45:67:89",
        "<b>irc.test</b>",
        "Tellix Test CA",
        "2026-01-01T00:00:00Z",
        "2027-01-01T00:00:00Z",
        false};
    for (const bool agree : {false, true}) {
        SCOPED_TRACE(agree);
        int trusted = 0;
        toolkit.AskTrust("irc.test", 6697, refusal, [&] { ++trusted; });
        QMessageBox* box = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            const auto boxes = QApplication::topLevelWidgets();
            for (QWidget* widget : boxes) {
                if (auto* found = qobject_cast<QMessageBox*>(widget); found != nullptr && found->isVisible()) {
                    box = found;
                }
            }
            return box != nullptr;
        }));
        EXPECT_EQ(box->textFormat(), Qt::PlainText) << "names from the network are no markup";
        for (const char* shown : {"irc.test, port 6697", "<b>irc.test</b>", "Tellix Test CA",
                                  "2026-01-01T00:00:00Z", "2027-01-01T00:00:00Z", "AB:CD:EF:01"}) {
            EXPECT_TRUE(box->text().contains(QString::fromUtf8(shown))) << shown;
        }
        QAbstractButton* answer = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == (agree ? "&Trust and connect" : "&Do not trust")) {
                answer = button;
            }
        }
        ASSERT_NE(answer, nullptr);
        EXPECT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), "&Do not trust");
        const QPointer<QMessageBox> watched = box;
        QTest::mouseClick(answer, Qt::LeftButton);
        EXPECT_TRUE(PumpUntil([&] { return watched.isNull() || !watched->isVisible(); }));
        EXPECT_EQ(trusted, agree ? 1 : 0);
        PumpFor(std::chrono::milliseconds(50)); // the box deletes itself
    }
}

} // namespace
} // namespace tellix::test
