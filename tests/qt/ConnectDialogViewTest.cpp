// The connect dialog's Qt form: controls at their twips places, access keys, tab order, and
// the keys a dialog answers.
#include "dialog/ConnectDialog.h"
#include "platform/qt/QtConnectDialogView.h"
#include "support/QtLoop.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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

} // namespace
} // namespace tellix::test
