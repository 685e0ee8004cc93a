#include "GuiApplication.h"

#include "support/QtLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
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
}

void PumpEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tellix::bench
