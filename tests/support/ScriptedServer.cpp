#include "support/ScriptedServer.h"

#include "support/QtLoop.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>

#include <stdexcept>

namespace tellix::test {

void ScriptedServer::Session::Send(std::string_view line)
{
    if (socket_ != nullptr) {
        socket_->write(line.data(), static_cast<qint64>(line.size()));
        socket_->write("\r\n", 2);
    }
}

void ScriptedServer::Session::Close()
{
    if (socket_ != nullptr) {
        socket_->disconnectFromHost();
    }
}

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script))
{
    EnsureQtApplication(); // the listener needs the event loop's dispatcher
    listener_ = std::make_unique<QTcpServer>();
    Listen();
}

ScriptedServer::ScriptedServer(Script script, const std::filesystem::path& certificate,
                               const std::filesystem::path& key)
    : script_(std::move(script))
{
    EnsureQtApplication();
    QFile keyFile(QString::fromStdString(key.string()));
    if (!keyFile.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + key.string());
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(
        QSslCertificate::fromPath(QString::fromStdString(certificate.string())).value(0));
    configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto tls = std::make_unique<QSslServer>();
    tls->setSslConfiguration(configuration);
    listener_ = std::move(tls);
    Listen();
}

void ScriptedServer::Listen()
{
    if (!listener_->listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("the scripted server found no loopback port");
    }
    // A TLS listener hands a client out only once its handshake is through.
    QObject::connect(listener_.get(), &QTcpServer::pendingConnectionAvailable, listener_.get(),
                     [this] { Accept(); });
}

ScriptedServer::~ScriptedServer()
{
    for (const auto& session : sessions_) {
        delete session->socket_;
    }
}

void ScriptedServer::Accept()
{
    while (QTcpSocket* socket = listener_->nextPendingConnection()) {
        socket->setParent(nullptr);
        sessions_.push_back(std::make_unique<Session>());
        Session& session = *sessions_.back();
        session.socket_ = socket;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, &session] {
            const QByteArray bytes = session.socket_->readAll();
            session.partial_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            for (std::size_t end; (end = session.partial_.find("\r\n")) != std::string::npos;) {
                std::string line = session.partial_.substr(0, end);
                session.partial_.erase(0, end + 2);
                session.received_.push_back(line);
                script_(session, line);
            }
        });
    }
}

} // namespace tellix::test
