#pragma once

#include "app/Application.h"
#include "app/Settings.h"
#include "platform/SettingsStore.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"

#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

namespace tellix::test {

// The Qt client as the program runs it, in a settings folder of its own: a user who has used
// it before, nick "me", its main window shown and active, and its instance the running one.
struct RunningClient {
    QTemporaryDir config;
    QtToolkit toolkit;
    QtSocketFactory sockets;
    std::shared_ptr<Application> app; // the running instance, as the program holds it
    QtMainWindowView* main = nullptr;

    RunningClient()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        for (const auto& [key, value] : {std::pair{"First Use", "0"}, std::pair{"Default User Nick", "me"}}) {
            toolkit.Settings().SaveSetting(SettingsAppName(), "Main", key, value);
        }
        app = Application::Instance() = std::make_shared<Application>(toolkit, sockets);
        main = toolkit.MainWindow();
        main->Show();
        main->Window()->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(main->Window()));
    }
    ~RunningClient()
    {
        app.reset();
        Application::Instance().reset();
    }
    RunningClient(const RunningClient&) = delete;
    RunningClient& operator=(const RunningClient&) = delete;
};

} // namespace tellix::test
