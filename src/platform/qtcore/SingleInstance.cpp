#include "platform/qtcore/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tellix {

namespace {

constexpr char kTaken[] = "ok\n";

// The process at the other end of a connected local socket runs as this user.
bool PeerIsUs(qintptr descriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

bool OwnFolder(const QString& path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid();
}

// Makes `path` a folder only this user can enter; empty when it is, else why it cannot be.
// Checked through a descriptor opened without following links, so nothing can be swapped in
// between the check and the change.
std::string MakePrivateFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        return std::string("cannot be made: ") + std::strerror(errno);
    }
    const int folder = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        const int error = errno;
        struct stat status {};
        if (::lstat(native.constData(), &status) == 0) {
            return S_ISLNK(status.st_mode) ? "is a link" : "is not a folder";
        }
        return std::strerror(error);
    }
    std::string problem;
    struct stat status {};
    if (::fstat(folder, &status) != 0) {
        problem = std::strerror(errno);
    } else if (status.st_uid != ::geteuid()) {
        problem = "belongs to another user";
    } else if ((status.st_mode & 07777) != 0700 && ::fchmod(folder, 0700) != 0) {
        problem = std::string("cannot be made private: ") + std::strerror(errno);
    }
    ::close(folder);
    return problem;
}

} // namespace

QString SingleInstance::DefaultName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && OwnFolder(runtime)) {
        return runtime + QStringLiteral("/tellix.socket");
    }
    // A fixed name in the shared temporary folder could be taken first by anyone.
    const QString folder = QDir::tempPath() + QStringLiteral("/tellix-%1").arg(::geteuid());
    const std::string problem = MakePrivateFolder(folder);
    if (!problem.empty()) {
        std::fprintf(stderr, "tellix: %s %s; later starts cannot hand their addresses to this one\n",
                     QFile::encodeName(folder).constData(), problem.c_str());
        return {};
    }
    return folder + QStringLiteral("/tellix.socket");
}

bool SingleInstance::HandOver(const QString& address, const QString& name, int waitMs)
{
    if (name.isEmpty()) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(waitMs)) {
        return false;
    }
    // Whoever else listens there would be handed what the user opens.
    if (!PeerIsUs(socket.socketDescriptor())) {
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
    if (name.isEmpty()) {
        return false;
    }
    // Asked before listening: a listener with access options would replace the file silently.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        if (!PeerIsUs(probe.socketDescriptor())) {
            std::fprintf(
                stderr,
                "tellix: %s is held by another user; later starts cannot hand their addresses to this one\n",
                QFile::encodeName(name).constData());
        }
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
        if (!PeerIsUs(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
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
