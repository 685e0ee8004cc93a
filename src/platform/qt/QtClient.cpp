#include "platform/qt/QtClient.h"

#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/StartApplication.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>

namespace tellix {

void StartClient(QtToolkit& toolkit, SocketFactory& sockets, const QString& address)
{
    QGuiApplication::setWindowIcon(QtMainWindowView::Icon());
    StartApplication(toolkit, sockets, address);
    // The teardown hides the main window before it closes it, which Qt does not count as the
    // last window closing; the program ends when the window itself is gone.
    if (const QtMainWindowView* window = toolkit.MainWindow(); window != nullptr && window->Window() != nullptr) {
        QObject::connect(window->Window(), &QObject::destroyed, QCoreApplication::instance(),
                         [] { QCoreApplication::quit(); });
    }
}

} // namespace tellix
