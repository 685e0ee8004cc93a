#include "support/ScriptedServer.h"

#include "support/QtLoop.h"

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
    if (!listener_.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("the scripted server found no loopback port");
    }
    QObject::connect(&listener_, &QTcpServer::newConnection, &listener_, [this] { Accept(); });
}

ScriptedServer::~ScriptedServer()
{
    for (const auto& session : sessions_) {
        delete session->socket_;
    }
}

void ScriptedServer::Accept()
{
    while (QTcpSocket* socket = listener_.nextPendingConnection()) {
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
