#include "app/Application.h"
#include "app/Settings.h"
#include "platform/console/ConsoleClient.h"
#include "platform/qt/IrcLinks.h"
#include "platform/qt/QtClient.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/HeapPages.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "platform/qtcore/SingleInstance.h"
#include "platform/qtcore/StartApplication.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <string>

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

std::string Version()
{
    return std::to_string(tellix::VersionMajor) + "." + std::to_string(tellix::VersionMinor) + "." +
           std::to_string(tellix::VersionRevision);
}

} // namespace

int main(int argc, char** argv)
{
    tellix::PrepareHeapForBursts();
    // Read before any application object exists: --help and --version need no display.
    QCoreApplication::setApplicationName(QStringLiteral("tellix"));
    QCoreApplication::setApplicationVersion(QString::fromStdString(Version()));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tellix, a desktop client for Internet Relay Chat."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption console(QStringLiteral("console"),
                                     QStringLiteral("Run in the terminal: typed lines from standard input, "
                                                    "window lines to standard output."));
    parser.addOption(console);
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("An address to connect to: irc://host[:port][/channel]."),
                                 QStringLiteral("[address]"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tellix: %s\nTry 'tellix --help' for the options.\n",
                     parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object the parser cannot know the program's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("tellix"));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("tellix %s\n", Version().c_str());
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "tellix: one address at most, not %lld.\nTry 'tellix --help' for the options.\n",
                     static_cast<long long>(parser.positionalArguments().size()));
        return 2;
    }
    const QString address = parser.positionalArguments().value(0);
    if (parser.isSet(console) || !HasDisplay()) {
        QCoreApplication app(argc, argv);
        return tellix::RunConsoleClient(address);
    }

    QApplication app(argc, argv);
    // One client per user: an address goes to the one running, if any. Without a safe place
    // for the socket the client runs on its own.
    const QString instanceName = tellix::SingleInstance::DefaultName();
    if (!address.isEmpty() && tellix::SingleInstance::HandOver(address, instanceName)) {
        return 0;
    }
    tellix::QtToolkit toolkit;
    tellix::QtSocketFactory sockets;
    tellix::StartClient(toolkit, sockets, address);
    const auto open = [](const QString& handed) {
        if (const auto& running = tellix::Application::Instance()) {
            tellix::OpenRunningAddress(*running, handed);
        }
    };
    tellix::SingleInstance instance(open);
    instance.Listen(instanceName);
    const tellix::IrcLinks links(open);
    // The loop ends when the application's teardown closes its main window.
    const int status = QApplication::exec();
    tellix::Application::Instance().reset();
    // The last lines written (a QUIT) still leave before the process ends.
    tellix::QtTcpSocket::WaitForPendingCloses();
    return status;
}
