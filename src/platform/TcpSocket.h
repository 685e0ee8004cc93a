#pragma once

#include "util/Event.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tellix {

// How the next Connect carries the session; set before Connect.
struct TlsSettings {
    bool enabled = false;
    std::string clientCertificate; // a PEM file holding certificate and key; none when empty
    // The SHA-256 fingerprint the user trusts for this host and port, as NormaliseFingerprint
    // gives it: that certificate is taken even when its chain does not verify, and any other
    // is refused.
    std::string pinnedSha256;
};

// A server certificate the socket would not take. The socket is closed after the event
// and raises no Error for it.
struct CertificateRefusal {
    std::string reason;
    std::string fingerprint; // SHA-256, as NormaliseFingerprint gives it
    std::string subject;
    std::string issuer;
    std::string validFrom;
    std::string validUntil;
    bool pinMismatch = false; // a fingerprint was trusted for this host and port, and this is not it
};

// A TCP client socket as the connection engine sees it. Bytes are carried in
// std::string unchanged. Closing from our side raises no Close event; after the peer
// closes, State stays non-zero until our side calls Close. Failures, host-name
// resolution included, are reported through Error from the event loop, never thrown
// by Connect.
class TcpSocket {
public:
    // State values; the engine compares only with Closed and Connected.
    static constexpr std::int16_t StateClosed = 0;
    static constexpr std::int16_t StateOpen = 1;
    static constexpr std::int16_t StateResolvingHost = 4;
    static constexpr std::int16_t StateConnecting = 6;
    static constexpr std::int16_t StateConnected = 7;
    static constexpr std::int16_t StateClosing = 8;
    static constexpr std::int16_t StateError = 9;

    virtual ~TcpSocket() = default;

    virtual std::string RemoteHost() const = 0;
    virtual void SetRemoteHost(const std::string& host) = 0;
    virtual std::int32_t RemotePort() const = 0;
    virtual void SetRemotePort(std::int32_t port) = 0;
    virtual std::int16_t State() const = 0;

    virtual void Connect() = 0;
    virtual void SendData(std::string_view bytes) = 0;
    // Takes every received byte that is waiting.
    virtual std::string GetData() = 0;
    virtual void Close() = 0;

    void SetTls(TlsSettings tls) { tls_ = std::move(tls); }
    const TlsSettings& Tls() const { return tls_; }

    Event<> Closed;                        // closed by the remote side
    Event<> Connected;                     // connection completed
    Event<std::int32_t> ConnectionRequest; // requestID
    Event<std::int32_t> DataArrival;       // bytesTotal
    // Number, Description, Scode, Source, HelpFile, HelpContext, CancelDisplay
    Event<std::int16_t, std::string&, std::int32_t, const std::string&, const std::string&, std::int32_t, bool&>
        Error;
    Event<> SendComplete;
    Event<std::int32_t, std::int32_t> SendProgress; // bytes sent, bytes remaining
    Event<const CertificateRefusal&> CertificateRefused;

protected:
    TlsSettings tls_;
};

class SocketFactory {
public:
    virtual ~SocketFactory() = default;
    virtual std::unique_ptr<TcpSocket> CreateSocket() = 0;
};

} // namespace tellix
