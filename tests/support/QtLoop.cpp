#include "QtLoop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace tellix::test {

namespace {

// The logs a client writes go to a folder of this process's own: ctest runs each test in its
// own process, so no window opens with lines another test logged.
void UseOwnDataHome()
{
    static const QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
}

} // namespace

void EnsureQtApplication()
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "tellix-tests";
        static char* argv[] = {name, nullptr};
        static auto app = std::make_unique<QCoreApplication>(argc, argv);
        UseOwnDataHome();
    }
}

void EnsureGuiApplication()
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "tellix-tests";
        static char* argv[] = {name, nullptr};
        // Never destroyed: at exit Qt's own globals go first, and the application's teardown
        // would use them.
        static auto* app = new QApplication(argc, argv);
        (void)app;
        UseOwnDataHome();
    }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds wait)
{
    EnsureQtApplication();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // The ticking timer wakes the blocking wait so the deadline is seen.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PumpFor(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    PumpUntil([deadline] { return std::chrono::steady_clock::now() >= deadline; }, wait + std::chrono::seconds(1));
}

} // namespace tellix::test

// Fontconfig keeps part of the configuration it parses on its first use for good; that is not
// ours to fix, so the leak checker is told to pass over it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
