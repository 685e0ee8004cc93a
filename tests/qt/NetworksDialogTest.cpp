// The Networks dialog: opened from the File menu of the running client, a preset added and
// edited, a blank one filled in, the list reordered and pruned, and the settings file holding
// the result; the password box, the secret store behind it and the Connect button.
#include "platform/qt/networks/NetworksDialog.h"
#include "app/Application.h"
#include "app/Networks.h"
#include "app/Settings.h"
#include "platform/qt/QtClient.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/networks/NetworkForm.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/HeldSecretStore.h"
#include "support/QtLoop.h"
#include "support/RecordingToolkit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

QAction* MenuAction(QPushButton* button, const QString& text)
{
    for (QAction* action : button->menu()->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

std::vector<std::string> Entries(const QListWidget& list)
{
    std::vector<std::string> entries;
    for (int i = 0; i < list.count(); ++i) {
        entries.push_back(list.item(i)->text().toStdString());
    }
    return entries;
}

// The widgets a person operates, each needing a name a screen reader can say; the insides of
// lists, tables and text boxes are theirs.
std::vector<QWidget*> Controls(QWidget& top)
{
    std::vector<QWidget*> controls;
    for (QWidget* widget : top.findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QAbstractButton*>(widget) != nullptr || qobject_cast<QLineEdit*>(widget) != nullptr ||
            qobject_cast<QComboBox*>(widget) != nullptr || qobject_cast<QAbstractScrollArea*>(widget) != nullptr;
        bool inside = false;
        for (QWidget* up = widget->parentWidget(); up != nullptr && up != &top; up = up->parentWidget()) {
            inside = inside || qobject_cast<QAbstractScrollArea*>(up) != nullptr ||
                     qobject_cast<QComboBox*>(up) != nullptr || qobject_cast<QDialog*>(up) != nullptr;
        }
        if (control && !inside) {
            controls.push_back(widget);
        }
    }
    return controls;
}

void ExpectNamed(QWidget& top)
{
    const std::vector<QWidget*> controls = Controls(top);
    EXPECT_GE(controls.size(), 7u);
    for (QWidget* control : controls) {
        EXPECT_FALSE(control->accessibleName().isEmpty())
            << control->metaObject()->className() << " " << control->objectName().toStdString();
    }
}

// Each access key ("&x") of a window leads to one field: a label's to its buddy, and no two
// share a letter.
void ExpectDistinctAccessKeys(QWidget& top)
{
    std::map<QChar, QString> keys;
    const auto key = [&](const QString& text) {
        const QString plain = QString(text).remove(QStringLiteral("&&"));
        const qsizetype at = plain.indexOf('&');
        if (at < 0 || at + 1 >= plain.size()) {
            return;
        }
        const QChar letter = plain[at + 1].toLower();
        EXPECT_FALSE(keys.contains(letter)) << text.toStdString() << " and " << keys[letter].toStdString();
        keys[letter] = text;
    };
    for (QWidget* widget : Controls(top)) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            key(button->text());
        }
    }
    for (QLabel* label : top.findChildren<QLabel*>()) {
        if (QString(label->text()).remove(QStringLiteral("&&")).contains('&')) {
            EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
            key(label->text());
        }
    }
    EXPECT_GE(keys.size(), 6u);
}

void Retype(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

void ClickOk(NetworkForm& form)
{
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        if (button->accessibleName() == "OK") {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no OK button";
}

TEST(NetworksDialog, FromTheFileMenuPresetsAndABlankAreAddedEditedMovedRemovedAndTheFileHoldsThem)
{
    EnsureGuiApplication();
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString file = config.path() + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini";
    QSettings(file, QSettings::IniFormat).setValue("Main/First Use", "0");
    {
        QtToolkit toolkit;
        QtSocketFactory sockets;
        StartClient(toolkit, sockets, {});
        QMainWindow& main = *toolkit.MainWindow()->Window();
        main.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        NetworksDialog* dialog = toolkit.MainWindow()->NetworksWindow();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }));
        EXPECT_EQ(dialog->List()->count(), 0);
        EXPECT_FALSE(dialog->EditButton()->isEnabled());
        ExpectNamed(*dialog);
        ExpectDistinctAccessKeys(*dialog);

        // A preset, its fields filled in; the login enables what its kind reads.
        ASSERT_NE(MenuAction(dialog->AddButton(), "Libera.Chat"), nullptr);
        MenuAction(dialog->AddButton(), "Libera.Chat")->trigger();
        NetworkForm* form = dialog->Form();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return form->isVisible(); }));
        ExpectNamed(*form);
        ExpectDistinctAccessKeys(*form);
        EXPECT_EQ(form->NameBox()->text(), "Libera.Chat");
        ASSERT_EQ(form->ServersTable()->rowCount(), 1);
        EXPECT_EQ(form->ServersTable()->item(0, 0)->text(), "irc.libera.chat");
        EXPECT_EQ(form->ServersTable()->item(0, 1)->text(), "6697");
        EXPECT_EQ(form->ServersTable()->item(0, 2)->checkState(), Qt::Checked);
        EXPECT_EQ(form->NickBox()->text(), "user|Tellix");
        struct Kind {
            QString shown;
            bool account, password, certificate;
        };
        for (const Kind& kind :
             {Kind{"None", false, false, false}, Kind{"SASL client certificate", false, false, true},
              Kind{"Server password", false, true, false}, Kind{"NickServ IDENTIFY", true, true, false},
              Kind{"SASL account and password", true, true, false}}) {
            form->LoginBox()->setCurrentText(kind.shown);
            EXPECT_EQ(form->AccountBox()->isEnabled(), kind.account) << kind.shown.toStdString();
            EXPECT_EQ(form->PasswordBox()->isEnabled(), kind.password) << kind.shown.toStdString();
            EXPECT_EQ(form->CertificateBox()->isEnabled(), kind.certificate) << kind.shown.toStdString();
        }
        Retype(form->NickBox(), "ann");
        Retype(form->AccountBox(), "ann");
        Retype(form->AutojoinBox(), "#tellix,#club key");
        form->CommandsBox()->setPlainText("/mode $nick +i\n\n/msg bob a;b");
        ClickOk(*form);
        ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));
        EXPECT_EQ(Entries(*dialog->List()),
                  std::vector<std::string>{"Libera.Chat  \u2014  irc.libera.chat:6697 TLS"});

        MenuAction(dialog->AddButton(), "OFTC")->trigger();
        ASSERT_NE(dialog->Form(), nullptr);
        ClickOk(*dialog->Form());
        ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));

        // A blank one: OK says what is missing, and the form stays until it is there.
        MenuAction(dialog->AddButton(), "&Blank Network")->trigger();
        form = dialog->Form();
        ASSERT_NE(form, nullptr);
        ClickOk(*form);
        EXPECT_EQ(form->StatusLabel()->text(), "a network needs a name");
        Retype(form->NameBox(), "home");
        ClickOk(*form);
        EXPECT_EQ(form->StatusLabel()->text(), "a network needs a server");
        form->ServersTable()->item(0, 0)->setText("127.0.0.1");
        form->ServersTable()->item(0, 2)->setCheckState(Qt::Unchecked);
        EXPECT_EQ(form->ServersTable()->item(0, 1)->text(), "6667") << "the usual port follows TLS";
        QTest::mouseClick(form->AddServerButton(), Qt::LeftButton);
        ASSERT_EQ(form->ServersTable()->rowCount(), 2);
        form->ServersTable()->item(1, 0)->setText("10.0.0.2");
        form->ServersTable()->item(1, 1)->setText("port");
        ClickOk(*form);
        EXPECT_EQ(form->StatusLabel()->text(), "a port is a whole number from 1 to 65535");
        QTest::mouseClick(form->RemoveServerButton(), Qt::LeftButton);
        ClickOk(*form);
        ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));

        // A name that is taken is refused.
        MenuAction(dialog->AddButton(), "Libera.Chat")->trigger();
        ClickOk(*dialog->Form());
        EXPECT_EQ(dialog->Form()->StatusLabel()->text(), "a network \"Libera.Chat\" exists already");
        dialog->Form()->reject();
        ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));

        // Edited: the change is kept, and what was there stays.
        dialog->List()->setCurrentRow(1);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        ASSERT_NE(dialog->Form(), nullptr);
        EXPECT_EQ(dialog->Form()->NameBox()->text(), "OFTC");
        Retype(dialog->Form()->NickBox(), "ann2");
        ClickOk(*dialog->Form());
        ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));

        // Up twice brings "home" to the top, where Up stops.
        dialog->List()->setCurrentRow(2);
        QTest::mouseClick(dialog->UpButton(), Qt::LeftButton);
        QTest::mouseClick(dialog->UpButton(), Qt::LeftButton);
        EXPECT_EQ(Entries(*dialog->List()),
                  (std::vector<std::string>{"home  \u2014  127.0.0.1:6667",
                                            "Libera.Chat  \u2014  irc.libera.chat:6697 TLS",
                                            "OFTC  \u2014  irc.oftc.net:6697 TLS"}));
        EXPECT_EQ(dialog->List()->currentRow(), 0);
        EXPECT_FALSE(dialog->UpButton()->isEnabled());
        EXPECT_TRUE(dialog->DownButton()->isEnabled());

        // Removed once the question is answered yes; no keeps it.
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            dialog->List()->setCurrentRow(2);
            QTest::mouseClick(dialog->RemoveButton(), Qt::LeftButton);
            QMessageBox* ask = dialog->findChild<QMessageBox*>();
            ASSERT_NE(ask, nullptr);
            QTest::mouseClick(ask->button(answer), Qt::LeftButton);
            ASSERT_TRUE(PumpUntil([&] { return dialog->findChild<QMessageBox*>() == nullptr; }));
        }
        EXPECT_EQ(dialog->List()->count(), 2);

        // A /network typed meanwhile shows in the open dialog.
        Application::Instance()->ProcessCommand("network add typed 192.0.2.1", true, 1);
        EXPECT_EQ(dialog->List()->count(), 3);
        Application::Instance()->ProcessCommand("network remove typed", true, 1);
        EXPECT_EQ(dialog->List()->count(), 2);
        Application::Instance().reset();
    }
    const QSettings stored(file, QSettings::IniFormat);
    EXPECT_EQ(stored.value("Main/Networks").toString(), "home Libera.Chat");
    EXPECT_EQ(stored.value("Network Libera.Chat/Nick").toString(), "ann");
    EXPECT_EQ(stored.value("Network Libera.Chat/Account").toString(), "ann");
    EXPECT_EQ(stored.value("Network Libera.Chat/Login").toString(), "plain");
    EXPECT_EQ(stored.value("Network Libera.Chat/Servers").toString(), "irc.libera.chat/6697/tls");
    EXPECT_EQ(stored.value("Network Libera.Chat/Autojoin").toString(), "#tellix,#club key");
    EXPECT_EQ(stored.value("Network Libera.Chat/Commands").toString(), "/mode $nick +i;/msg bob a\\;b");
    EXPECT_EQ(stored.value("Network home/Servers").toString(), "127.0.0.1/6667");
    EXPECT_FALSE(stored.childGroups().contains("Network OFTC")) << "a removed network leaves nothing";
    EXPECT_FALSE(stored.childGroups().contains("Network typed"));
}

// The password box shows dots, fills in when the secret store answers unless the user typed
// meanwhile, and what is typed goes to the store, never the settings; Connect names the
// network, and may end the list it came from.
TEST(NetworksDialog, PasswordsGoToTheSecretStoreAndConnectAsksForTheSelectedNetwork)
{
    EnsureGuiApplication();
    MemorySettingsStore settings;
    HeldSecretStore secrets;
    {
        Networks setup(settings, nullptr);
        ASSERT_EQ(setup.Add(*setup.FromPreset("Libera.Chat")), "");
        ASSERT_EQ(setup.Add(*setup.FromPreset("OFTC")), "");
    }
    secrets.entries = {{"Network Libera.Chat Password", "fake-stored-secret"},
                       {"Network OFTC Password", "fake-other-secret"}};
    auto networks = std::make_unique<Networks>(settings, &secrets);
    std::vector<std::string> asked;
    auto* dialog = new NetworksDialog(
        *networks, [&](const std::string& name) { asked.push_back(name); }, nullptr);
    dialog->show();

    dialog->List()->setCurrentRow(0);
    QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
    NetworkForm* form = dialog->Form();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->PasswordBox()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form->PasswordBox()->text(), "") << "the store has not answered yet";
    secrets.Answer();
    EXPECT_EQ(form->PasswordBox()->text(), "fake-stored-secret");
    EXPECT_NE(form->PasswordBox()->displayText(), "fake-stored-secret");
    form->LoginBox()->setCurrentText("SASL account and password");
    Retype(form->AccountBox(), "ann");
    Retype(form->PasswordBox(), "fake-typed-secret");
    ClickOk(*form);
    ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));
    secrets.AnswerAll();
    EXPECT_EQ(secrets.entries["Network Libera.Chat Password"], "fake-typed-secret");
    EXPECT_EQ(networks->Find("Libera.Chat")->password, "fake-typed-secret");

    // Opened and typed into before the answer: what was typed stays.
    delete dialog;
    networks = std::make_unique<Networks>(settings, &secrets);
    dialog = new NetworksDialog(
        *networks, [&](const std::string& name) { asked.push_back(name); }, nullptr);
    dialog->show();
    dialog->List()->setCurrentRow(1);
    QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
    form = dialog->Form();
    ASSERT_NE(form, nullptr);
    form->LoginBox()->setCurrentText("Server password");
    QTest::keyClicks(form->PasswordBox(), "fake-early");
    secrets.Answer();
    EXPECT_EQ(form->PasswordBox()->text(), "fake-early");
    form->reject();
    ASSERT_TRUE(PumpUntil([&] { return dialog->Form() == nullptr; }));
    secrets.AnswerAll();
    EXPECT_EQ(secrets.entries["Network OFTC Password"], "fake-other-secret") << "Cancel keeps nothing";

    for (const std::string& written : settings.written) {
        EXPECT_EQ(written.find("fake-"), std::string::npos) << written;
    }
    for (const std::string& entry : Entries(*dialog->List())) {
        EXPECT_EQ(entry.find("fake-"), std::string::npos) << entry;
    }

    QTest::mouseClick(dialog->ConnectButton(), Qt::LeftButton);
    EXPECT_EQ(asked, std::vector<std::string>{"OFTC"});
    delete dialog;

    // A connect that ends the program takes the list with it: the dialog lets go first.
    NetworksDialog* ending = nullptr;
    ending = new NetworksDialog(
        *networks,
        [&](const std::string& name) {
            asked.push_back(name);
            ending->Detach();
            ending->deleteLater();
            networks.reset();
        },
        nullptr);
    ending->List()->setCurrentRow(0);
    QTest::mouseClick(ending->ConnectButton(), Qt::LeftButton);
    EXPECT_EQ(asked, (std::vector<std::string>{"OFTC", "Libera.Chat"}));
    EXPECT_EQ(networks, nullptr);
    QTest::mouseClick(ending->EditButton(), Qt::LeftButton);
    EXPECT_EQ(ending->Form(), nullptr) << "a detached dialog opens nothing";
    const QPointer<NetworksDialog> watched = ending;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull());
}

} // namespace
} // namespace tellix::test
