#include "GuiApplication.h"

#include "support/QtLoop.h"

#include "app/Settings.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>

namespace tellix::bench {

void EnsureGuiApplication()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The client saves its connect data when it ends; a benchmark's must not land in the user's.
    static const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    test::EnsureGuiApplication();
    // Nor its logs; and only a benchmark that asks for them writes any.
    static const QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QSettings(config.path() + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
              QSettings::IniFormat)
        .setValue("Main/" + QString::fromUtf8(settings::Logging.data(), settings::Logging.size()), "0");
    // The window benchmarks measure every window they tile on the screen, as the windows
    // overlap; one at a time would leave all but one behind the other.
    QSettings(config.path() + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
              QSettings::IniFormat)
        .setValue("Main/" + QString::fromUtf8(settings::WindowLayout.data(), settings::WindowLayout.size()),
                  "overlapping");
}

void PumpEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Outside a running event loop Qt deletes what deleteLater() left only when asked: without
    // this, every client a benchmark ends keeps its windows, and memory grows run by run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace tellix::bench
