#pragma once

#include "platform/TcpSocket.h"

#include <memory>
#include <vector>

#include <QMetaObject>

class QSslSocket;
class QSslError;
template <typename T> class QList;

namespace tellix {

// TcpSocket on QTcpSocket, with the engine's expectations kept: no Closed event for a
// close of our own, "closing" after the peer closed until we close, errors as events.
// A handler may destroy the socket inside any of its events. A close of ours returns at once;
// what is still queued is sent afterwards from the event loop, and the TCP session ends
// cleanly rather than with a reset. Every Connect starts on a fresh Qt socket, so nothing of
// one session (its TLS state, a certificate taken for it) carries over to the next.
// With TLS on, Connected waits for the handshake, and a certificate that does not verify
// (or is not the pinned one) is refused through CertificateRefused and the socket aborted.
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

    // How long the goodbye of a close of ours may take: sending what is queued, then waiting
    // for the server to end the session. Then the connection is cut.
    static constexpr int kGoodbyeMilliseconds = 2000;
    // Goodbyes still under way.
    static int PendingCloses();
    // Runs the event loop until no goodbye is under way or `waitMs` has passed: at the end of
    // the program, so that a QUIT written last still reaches the server.
    static void WaitForPendingCloses(int waitMs = kGoodbyeMilliseconds + 500);

private:
    struct Life;
    class Goodbye;

    // Gives up the Qt socket - to a goodbye when `farewell` and a session is up, else cut -
    // and takes a fresh one.
    void Renew(bool farewell);
    void Attach();

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
    // Raises CertificateRefused once, then aborts the session unless a handler destroyed this
    // socket or started another session.
    void Refuse(std::string reason, bool pinMismatch);

    QSslSocket* socket_;
    std::string host_;
    std::int32_t port_ = 0;
    bool peerClosed_ = false;
    bool failed_ = false;
    bool refused_ = false;
    bool started_ = false;      // the TLS handshake is through
    bool used_ = false;         // socket_ has been connected once
    std::uint32_t attempt_ = 0; // counts Connect and Close calls
    std::shared_ptr<Life> life_;
    std::vector<QMetaObject::Connection> connections_; // ours, on socket_
};

class QtSocketFactory final : public SocketFactory {
public:
    std::unique_ptr<TcpSocket> CreateSocket() override;
};

} // namespace tellix
