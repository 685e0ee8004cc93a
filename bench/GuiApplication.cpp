#include "GuiApplication.h"

#include "support/QtLoop.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace tellix::bench {

void EnsureGuiApplication()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    test::EnsureGuiApplication();
}

void PumpEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tellix::bench
