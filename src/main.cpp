#include "app/Application.h"
#include "app/Settings.h"
#include "platform/qt/QtTcpSocket.h"
#include "platform/qt/QtToolkit.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool HasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') {
        return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

} // namespace

int main(int argc, char** argv)
{
    bool console = false;
    for (int i = 1; i < argc; ++i) {
        console = console || std::strcmp(argv[i], "--console") == 0;
    }
    if (console || !HasDisplay()) {
        std::fprintf(stderr, "tellix: no display, and the console front-end is not available yet\n");
        return 2;
    }

    QApplication app(argc, argv);
    QMainWindow mainWindow;
    mainWindow.setWindowTitle(QString::fromStdString(tellix::MainCaption()));
    auto* area = new QMdiArea(&mainWindow);
    mainWindow.setCentralWidget(area);
    mainWindow.resize(900, 600);
    mainWindow.show();

    tellix::QtToolkit toolkit(*area);
    tellix::QtSocketFactory sockets;
    auto application = std::make_unique<tellix::Application>(toolkit, sockets);
    const int status = QApplication::exec();
    application.reset(); // the windows go before the area that holds them
    return status;
}
