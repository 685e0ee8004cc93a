#pragma once

#include "platform/TcpSocket.h"

#include <memory>

class QSslSocket;
class QSslError;
template <typename T> class QList;

namespace tellix {

// TcpSocket on QTcpSocket, with the engine's expectations kept: no Closed event for a
// close of our own, "closing" after the peer closed until we close, errors as events.
// A handler may destroy the socket inside any of its events. A close of ours sends what
// is still queued first, and ends the TCP session cleanly rather than with a reset.
// With TLS on, Connected waits for the handshake, and a certificate that does not verify
// (or is not the pinned one) is refused through CertificateRefused.
class QtTcpSocket final : public TcpSocket {
public:
    QtTcpSocket();
    ~QtTcpSocket() override;
    QtTcpSocket(const QtTcpSocket&) = delete;
    QtTcpSocket& operator=(const QtTcpSocket&) = delete;

    std::string RemoteHost() const override { return host_; }
    void SetRemoteHost(const std::string& host) override { host_ = host; }
    std::int32_t RemotePort() const override { return port_; }
    void SetRemotePort(std::int32_t port) override { port_ = port; }
    std::int16_t State() const override;

    void Connect() override;
    void SendData(std::string_view bytes) override;
    std::string GetData() override;
    void Close() override;

private:
    struct Life;
    // How long a close of ours waits for what we sent to leave and the server to end.
    static constexpr int kLingerMilliseconds = 2000;

    void Linger();

    template <class F> bool Raise(const char* where, F&& raise);
    void OnConnected();
    void OnReadyRead();
    void OnDisconnected();
    void OnError(int qtError);
    void OnBytesWritten(long long written);
    void OnEncrypted();
    void OnSslErrors(const QList<QSslError>& errors);
    // True when the TLS settings could be applied; otherwise Error has been raised.
    bool PrepareTls();
    // False when a handler destroyed this socket.
    bool Refuse(std::string reason, bool pinMismatch);

    QSslSocket* socket_;
    std::string host_;
    std::int32_t port_ = 0;
    bool peerClosed_ = false;
    bool failed_ = false;
    bool closing_ = false;
    bool refused_ = false;
    bool started_ = false;      // the TLS handshake is through
    std::uint32_t attempt_ = 0; // counts Connect and Close calls
    std::shared_ptr<Life> life_;
};

class QtSocketFactory final : public SocketFactory {
public:
    std::unique_ptr<TcpSocket> CreateSocket() override;
};

} // namespace tellix
