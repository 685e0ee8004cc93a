#include "platform/qtcore/StartApplication.h"

#include "app/Application.h"
#include "platform/qtcore/IrcAddress.h"
#include "util/Concat.h"

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
    app.OpenAddress(parsed.host, parsed.port, parsed.channel, parsed.tls);
}

void OpenRunningAddress(Application& app, const QString& address)
{
    const IrcAddress parsed = ParseIrcAddress(address);
    if (!parsed.error.empty()) {
        app.Echo(Application::kStatusWindow,
                 Concat("*** Cannot open ", address.toStdString(), ": ", parsed.error, "."));
        return;
    }
    app.OpenRunningAddress(parsed.host, parsed.port, parsed.channel, parsed.tls);
}

} // namespace tellix
