#pragma once

#include "platform/ChannelListView.h"
#include "platform/ChildView.h"
#include "platform/Clock.h"
#include "platform/ConnectDialogView.h"
#include "platform/LogFiles.h"
#include "platform/MainWindowView.h"
#include "platform/SecretStore.h"
#include "platform/SettingsStore.h"
#include "platform/TcpSocket.h"
#include "platform/Timers.h"

#include <functional>
#include <memory>

namespace tellix {

// The window toolkit as the core sees it: it makes the views and gives the few services
// that belong to the user-interface thread, the per-user settings store among them.
class Toolkit {
public:
    virtual ~Toolkit() = default;

    // The main window, loaded and not yet shown; child windows are made inside it.
    virtual std::unique_ptr<MainWindowView> CreateMainWindowView() = 0;
    // A loaded child window form, minimized and not yet shown.
    virtual std::unique_ptr<ChildView> CreateChildView() = 0;
    // The connect dialog's form, loaded and hidden.
    virtual std::unique_ptr<ConnectDialogView> CreateConnectDialogView() = 0;
    virtual Clock& SystemClock() = 0;
    virtual SettingsStore& Settings() = 0;
    virtual void Beep() = 0;
    // Runs `task` once control is back in the event loop, after what is running now.
    virtual void Post(std::function<void()> task) = 0;
    // The window /LIST fills; none where the replies are lines in the window that asked.
    virtual std::unique_ptr<ChannelListView> CreateChannelListView() { return nullptr; }
    // The protocol's time; none where nothing waits (timeouts and pacing are then off).
    virtual Timers* ProtocolTimers() { return nullptr; }
    // The folder the windows' lines are logged to; none where nothing is logged.
    virtual LogFiles* ChatLogFiles() { return nullptr; }
    // The desktop's secret store; none where passwords live for the session only.
    virtual SecretStore* Secrets() { return nullptr; }
    // Searches the logs for typed `words` as the front-end shows a search (the terminal prints
    // the best lines, a window lists them); false where the logs cannot be searched.
    virtual bool SearchLogs(const std::string& /*words*/) { return false; }
    // Offers to trust a refused server certificate; `trust` runs if the user agrees. Where
    // nothing can ask, the status window's line tells how to trust it by command.
    virtual void AskTrust(const std::string& /*host*/, std::int32_t /*port*/,
                          const CertificateRefusal& /*refusal*/, std::function<void()> /*trust*/)
    {
    }
};

} // namespace tellix
