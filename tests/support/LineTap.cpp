#include "support/LineTap.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <stdexcept>

namespace tellix::test {

struct LineTap::Pair {
    QTcpSocket* client = nullptr; // owned by the listener until the pair takes it
    QTcpSocket upstream;
    std::string partial;
    ~Pair() { delete client; }
};

LineTap::LineTap(std::uint16_t serverPort) : serverPort_(serverPort)
{
    if (!listener_.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("the line tap found no loopback port");
    }
    QObject::connect(&listener_, &QTcpServer::newConnection, &listener_, [this] { Accept(); });
}

LineTap::~LineTap() = default;

void LineTap::Accept()
{
    while (QTcpSocket* client = listener_.nextPendingConnection()) {
        client->setParent(nullptr);
        auto pair = std::make_unique<Pair>();
        pair->client = client;
        const std::size_t session = sessions_.size();
        sessions_.emplace_back();
        Pair& p = *pair;
        // Written while still connecting, the bytes wait in the socket's buffer.
        p.upstream.connectToHost(QHostAddress::LocalHost, serverPort_);
        QObject::connect(client, &QTcpSocket::readyRead, client, [this, &p, session] {
            const QByteArray data = p.client->readAll();
            p.upstream.write(data);
            p.partial.append(data.constData(), static_cast<std::size_t>(data.size()));
            for (std::size_t end = p.partial.find("\r\n"); end != std::string::npos;
                 end = p.partial.find("\r\n")) {
                sessions_[session].push_back(p.partial.substr(0, end));
                p.partial.erase(0, end + 2);
            }
        });
        QObject::connect(&p.upstream, &QTcpSocket::readyRead, client,
                         [&p] { p.client->write(p.upstream.readAll()); });
        QObject::connect(client, &QTcpSocket::disconnected, client, [&p] { p.upstream.disconnectFromHost(); });
        QObject::connect(&p.upstream, &QTcpSocket::disconnected, client, [&p] { p.client->disconnectFromHost(); });
        pairs_.push_back(std::move(pair));
    }
}

} // namespace tellix::test
