#include "platform/qtcore/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace tellix {

namespace {

constexpr char kTaken[] = "ok\n";

} // namespace

QString SingleInstance::DefaultName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime + QStringLiteral("/tellix.socket");
    }
    return QDir::tempPath() + QStringLiteral("/tellix-%1.socket").arg(::getuid());
}

bool SingleInstance::HandOver(const QString& address, const QString& name, int waitMs)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(waitMs)) {
        return false;
    }
    socket.write(address.toUtf8().replace('\n', ' ') + '\n');
    if (!socket.waitForBytesWritten(waitMs)) {
        return false;
    }
    // Taken only when the client says so: a client that dies meanwhile leaves it to this start.
    // Read no further than the answer can run: whatever holds the name may answer without end.
    QByteArray answer;
    while (answer.size() < static_cast<qsizetype>(sizeof kTaken) && !answer.contains('\n') &&
           socket.waitForReadyRead(waitMs)) {
        answer += socket.read(static_cast<qint64>(sizeof kTaken) - answer.size());
    }
    return answer == kTaken;
}

SingleInstance::SingleInstance(Opened opened) : opened_(std::move(opened)) {}

SingleInstance::~SingleInstance()
{
    delete server_;
}

bool SingleInstance::Listen(const QString& name)
{
    delete server_;
    server_ = nullptr;
    // Asked before listening: a listener with access options would replace the file silently.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        return false; // a live client has it
    }
    QLocalServer::removeServer(name); // the file of a client that died, if any
    server_ = new QLocalServer;
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_, &QLocalServer::newConnection, server_, [this] { Accept(); });
    if (server_->listen(name)) {
        return true;
    }
    delete server_;
    server_ = nullptr;
    return false;
}

void SingleInstance::Accept()
{
    while (QLocalSocket* const socket = server_->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { Read(socket); });
        Read(socket);
    }
}

void SingleInstance::Read(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kLongestAddress) {
            socket->abort();
            socket->deleteLater();
        }
        return;
    }
    const QByteArray raw = socket->readLine(kLongestAddress + 2);
    if (!raw.endsWith('\n')) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const QByteArray line = raw.trimmed();
    socket->write(kTaken);
    socket->flush();
    socket->disconnectFromServer();
    // Opened once this handler is done: opening may ask the user, and the sender waits for
    // its answer meanwhile only as long as it is willing to.
    QTimer::singleShot(0, server_, [opened = opened_, address = QString::fromUtf8(line)] {
        if (opened) {
            opened(address);
        }
    });
}

} // namespace tellix
