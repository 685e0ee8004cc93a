#include "platform/qt/PreferencesDialog.h"

#include "app/Settings.h"
#include "platform/SettingsStore.h"
#include "platform/qt/Notifier.h"
#include "platform/qt/WindowLayout.h"
#include "platform/qtcore/LogFileWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include <string>

namespace tellix {

namespace {

std::string Get(SettingsStore& settings, std::string_view key, const std::string& fallback)
{
    return settings.GetSetting(SettingsAppName(), std::string(settings::Section), std::string(key), fallback);
}

void Put(SettingsStore& settings, std::string_view key, const std::string& value)
{
    settings.SaveSetting(SettingsAppName(), std::string(settings::Section), std::string(key), value);
}

} // namespace

Preferences& Preferences::Instance()
{
    static Preferences* const instance = new Preferences; // lives as long as the process
    return *instance;
}

PreferencesDialog::PreferencesDialog(SettingsStore& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), logFont_(new QFontComboBox(this)), logFontSize_(new QSpinBox(this)),
      highlightWords_(new QLineEdit(this)), quitMessage_(new QLineEdit(this)),
      scrollbackLines_(new QSpinBox(this)),
      notifications_(new QCheckBox(QStringLiteral("Show a desktop &notification for highlights and private "
                                                  "messages"),
                                   this)),
      rejoinChannels_(new QCheckBox(QStringLiteral("&Rejoin open channels on connecting again"), this)),
      sendTyping_(new QCheckBox(QStringLiteral("Send &typing notifications"), this)),
      logging_(new QCheckBox(QStringLiteral("&Log every window's lines to disk"), this)),
      historyLines_(new QSpinBox(this)), logFolder_(new QLineEdit(this)),
      openLogFolder_(new QPushButton(QStringLiteral("&Open"), this)), windowList_(new QComboBox(this)),
      windowLayout_(new QComboBox(this)),
      windowTreeSorted_(new QCheckBox(QStringLiteral("Sort the window tree &alphabetically"), this))
{
    windowList_->addItem(QStringLiteral("Tree"), QStringLiteral("tree"));
    windowList_->addItem(QStringLiteral("Bar"), QStringLiteral("bar"));
    windowList_->addItem(QStringLiteral("Both"), QStringLiteral("both"));
    for (const auto mode : {WindowLayout::Mode::OneAtATime, WindowLayout::Mode::Overlapping}) {
        const QString stored = QString::fromLatin1(WindowLayout::Write(mode));
        windowLayout_->addItem(stored.left(1).toUpper() + stored.mid(1), stored);
    }
    setWindowTitle(QStringLiteral("Preferences"));
    logFontSize_->setRange(6, 72);
    logFontSize_->setSuffix(QStringLiteral(" pt"));
    scrollbackLines_->setRange(static_cast<int>(settings::ScrollbackLinesMin),
                               static_cast<int>(settings::ScrollbackLinesMax));
    scrollbackLines_->setSingleStep(1000);
    scrollbackLines_->setGroupSeparatorShown(true);
    highlightWords_->setPlaceholderText(QStringLiteral("words besides your nick, separated by blanks"));
    historyLines_->setRange(0, static_cast<int>(settings::HistoryLinesMax));
    historyLines_->setSpecialValueText(QStringLiteral("none"));
    logFolder_->setReadOnly(true);
    logFolder_->setText(QString::fromStdString(LogFileWriter::DefaultRoot()));
    connect(openLogFolder_, &QPushButton::clicked, this, [this] {
        // Made now if nothing was logged yet, so that there is something to open.
        QDir().mkpath(logFolder_->text());
        QDesktopServices::openUrl(QUrl::fromLocalFile(logFolder_->text()));
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(logFolder_, 1);
    folderRow->addWidget(openLogFolder_);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Log &font:"), logFont_);
    form->addRow(QStringLiteral("Font &size:"), logFontSize_);
    form->addRow(QStringLiteral("&Highlight words:"), highlightWords_);
    form->addRow(QStringLiteral("&Quit message:"), quitMessage_);
    form->addRow(QStringLiteral("Scroll&back lines:"), scrollbackLines_);
    form->addRow(notifications_);
    form->addRow(rejoinChannels_);
    form->addRow(sendTyping_);
    form->addRow(logging_);
    // A row of two widgets gets no buddy of its own, and a label without one shows its "&".
    auto* folderLabel = new QLabel(QStringLiteral("Logs &folder:"));
    folderLabel->setBuddy(logFolder_);
    form->addRow(folderLabel, folderRow);
    form->addRow(QStringLiteral("History &lines when a window opens:"), historyLines_);
    form->addRow(QStringLiteral("&Windows listed in:"), windowList_);
    form->addRow(QStringLiteral("Window la&yout:"), windowLayout_);
    form->addRow(windowTreeSorted_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    Load();
}

QFont PreferencesDialog::LogFont(SettingsStore& settings)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (const std::string family = Get(settings, settings::LogFont, ""); !family.empty()) {
        font.setFamily(QString::fromStdString(family));
    }
    bool number = false;
    const int size = QString::fromStdString(Get(settings, settings::LogFontSize, "")).trimmed().toInt(&number);
    font.setPointSize(number && size >= 6 && size <= 72 ? size : kLogFontSizeDefault);
    return font;
}

void PreferencesDialog::Load()
{
    const QFont font = LogFont(settings_);
    logFont_->setCurrentFont(font);
    logFontSize_->setValue(font.pointSize());
    highlightWords_->setText(QString::fromStdString(Get(settings_, settings::HighlightWords, "")));
    quitMessage_->setText(
        QString::fromStdString(Get(settings_, settings::QuitMessage, settings::QuitMessageDefault())));
    scrollbackLines_->setValue(
        static_cast<int>(settings::ReadScrollbackLines(Get(settings_, settings::ScrollbackLines, ""))));
    notifications_->setChecked(settings::ReadCheckBox(
        Get(settings_, settings::Notifications, settings::WriteCheckBox(settings::NotificationsDefault)),
        settings::NotificationsDefault));
    rejoinChannels_->setChecked(settings::ReadCheckBox(
        Get(settings_, settings::RejoinChannels, settings::WriteCheckBox(settings::RejoinChannelsDefault)),
        settings::RejoinChannelsDefault));
    sendTyping_->setChecked(
        settings::ReadCheckBox(Get(settings_, settings::SendTypingNotifications,
                                   settings::WriteCheckBox(settings::SendTypingNotificationsDefault)),
                               settings::SendTypingNotificationsDefault));
    logging_->setChecked(settings::ReadCheckBox(
        Get(settings_, settings::Logging, settings::WriteCheckBox(settings::LoggingDefault)),
        settings::LoggingDefault));
    historyLines_->setValue(
        static_cast<int>(settings::ReadHistoryLines(Get(settings_, settings::HistoryLines, ""))));
    const int list = windowList_->findData(
        QString::fromStdString(Get(settings_, settings::WindowList, "")).trimmed().toLower());
    windowList_->setCurrentIndex(
        list >= 0 ? list : windowList_->findData(QString::fromLatin1(settings::WindowListDefault)));
    windowLayout_->setCurrentIndex(windowLayout_->findData(
        QString::fromLatin1(WindowLayout::Write(WindowLayout::Read(Get(settings_, settings::WindowLayout, ""))))));
    windowTreeSorted_->setChecked(settings::ReadCheckBox(
        Get(settings_, settings::WindowTreeSorted, settings::WriteCheckBox(settings::WindowTreeSortedDefault)),
        settings::WindowTreeSortedDefault));
}

void PreferencesDialog::Save()
{
    Put(settings_, settings::LogFont, logFont_->currentFont().family().toStdString());
    Put(settings_, settings::LogFontSize, std::to_string(logFontSize_->value()));
    Put(settings_, settings::HighlightWords, highlightWords_->text().simplified().toStdString());
    Put(settings_, settings::QuitMessage, quitMessage_->text().toStdString());
    Put(settings_, settings::ScrollbackLines, std::to_string(scrollbackLines_->value()));
    Put(settings_, settings::Notifications, settings::WriteCheckBox(notifications_->isChecked()));
    Put(settings_, settings::RejoinChannels, settings::WriteCheckBox(rejoinChannels_->isChecked()));
    Put(settings_, settings::SendTypingNotifications, settings::WriteCheckBox(sendTyping_->isChecked()));
    Put(settings_, settings::Logging, settings::WriteCheckBox(logging_->isChecked()));
    Put(settings_, settings::HistoryLines, std::to_string(historyLines_->value()));
    Put(settings_, settings::WindowList, windowList_->currentData().toString().toStdString());
    Put(settings_, settings::WindowLayout, windowLayout_->currentData().toString().toStdString());
    Put(settings_, settings::WindowTreeSorted, settings::WriteCheckBox(windowTreeSorted_->isChecked()));
    Notifier::Instance().SetEnabled(notifications_->isChecked());
}

void PreferencesDialog::accept()
{
    Save();
    QDialog::accept();
    Q_EMIT Preferences::Instance().Changed();
}

} // namespace tellix
