#include "platform/qt/QtClient.h"

#include "app/Application.h"
#include "platform/qt/IrcAddress.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "util/Concat.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>

#include <memory>

namespace tellix {

void StartApplication(Toolkit& toolkit, SocketFactory& sockets, const QString& address)
{
    Application::Instance() = std::make_shared<Application>(toolkit, sockets);
    if (address.isEmpty()) {
        return;
    }
    Application& app = *Application::Instance();
    const IrcAddress parsed = ParseIrcAddress(address);
    if (!parsed.error.empty()) {
        app.Echo(Application::kStatusWindow,
                 Concat("*** Cannot open ", address.toStdString(), ": ", parsed.error, "."));
        return;
    }
    app.OpenAddress(parsed.host, parsed.port, parsed.channel);
}

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
