#include "GuiApplication.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace tellix::bench {

void EnsureGuiApplication()
{
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "tellix-bench";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals are gone by the time exit would get to it.
    static auto* app = new QApplication(argc, argv);
    (void)app;
}

void PumpEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool PumpUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QTimer tick; // wakes the blocking wait so the deadline is seen
    tick.start(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace tellix::bench

namespace tellix::bench {

void PumpFor(std::chrono::milliseconds wait)
{
    const auto until = std::chrono::steady_clock::now() + wait;
    PumpUntil([&] { return std::chrono::steady_clock::now() >= until; });
}

} // namespace tellix::bench
