#pragma once

#include "platform/Toolkit.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qtcore/LogFileWriter.h"
#include "platform/qtcore/QtClock.h"
#include "platform/qtcore/QtSettingsStore.h"
#include "platform/qtcore/QtTimers.h"

#include <QPointer>

class QMdiArea;

namespace tellix {

class QtMainWindowView;

// The window toolkit on Qt Widgets: child windows live in the main window's document area.
class QtToolkit final : public Toolkit {
public:
    std::unique_ptr<MainWindowView> CreateMainWindowView() override;
    std::unique_ptr<ChildView> CreateChildView() override;
    std::unique_ptr<ConnectDialogView> CreateConnectDialogView() override;
    std::unique_ptr<ChannelListView> CreateChannelListView() override;
    Clock& SystemClock() override { return clock_; }
    SettingsStore& Settings() override { return settings_; }
    void Beep() override;
    void Post(std::function<void()> task) override;
    Timers* ProtocolTimers() override { return &timers_; }
    LogFiles* ChatLogFiles() override { return &LogWriter(); }
    // The writer of the logs, made at first use; its Written hook tells what grew.
    LogFileWriter& LogWriter();
    SecretStore* Secrets() override { return &secrets_; }
    // Opens the search window with the words.
    bool SearchLogs(const std::string& words) override;
    void AskTrust(const std::string& host, std::int32_t port, const CertificateRefusal& refusal,
                  std::function<void()> trust) override;

    // The main window made last, while it exists.
    QtMainWindowView* MainWindow() const { return mainWindow_; }

private:
    QMdiArea& Area() const;

    QtMainWindowView* mainWindow_ = nullptr;
    QPointer<QMdiArea> area_;
    QtClock clock_;
    QtTimers timers_;
    QtSettingsStore settings_;
    std::unique_ptr<LogFileWriter> logWriter_;
    QtSecretStore secrets_;
};

} // namespace tellix
