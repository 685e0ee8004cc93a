#include "platform/qtcore/QtTcpSocket.h"

#include "platform/qtcore/Boundary.h"

#include "net/ServerTrust.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <sys/socket.h>

#include <unordered_set>
#include <utility>

namespace tellix {

namespace {

// Error numbers and texts in the form the rest of the client knows from Winsock.
std::pair<std::int16_t, std::string> Describe(QAbstractSocket::SocketError error, const QString& qtText)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return {10061, "Connection is forcefully rejected"};
    case QAbstractSocket::HostNotFoundError:
        return {11001, "Authoritative answer: Host not found"};
    case QAbstractSocket::SocketTimeoutError:
        return {10060, "Connection timed out"};
    case QAbstractSocket::NetworkError:
        return {10050, "Network is down"};
    case QAbstractSocket::SocketAccessError:
        return {10013, "Permission denied"};
    case QAbstractSocket::SocketResourceError:
        return {10055, "No buffer space is available"};
    default:
        return {10053, qtText.toStdString()};
    }
}

constexpr const char* kNotPinned = "the certificate is not the one trusted for this server and port";

std::string Fingerprint(const QSslCertificate& certificate)
{
    return NormaliseFingerprint(certificate.digest(QCryptographicHash::Sha256).toHex().toStdString());
}

std::string Names(const QSslCertificate& certificate, bool issuer)
{
    const QString text = issuer ? certificate.issuerDisplayName() : certificate.subjectDisplayName();
    return text.toStdString();
}

} // namespace

// Outlives the socket for as long as one of our raises is on the stack.
struct QtTcpSocket::Life {
    bool alive = true;
    int raising = 0;
};

namespace {

// Every goodbye under way. Made with the first one, so after the application object: at exit it
// goes first, and deletes what is left while that object and its event loop are still there.
struct Goodbyes {
    std::unordered_set<QObject*> all;
    QEventLoop* waiting = nullptr;

    Goodbyes() = default;
    Goodbyes(const Goodbyes&) = delete;
    Goodbyes& operator=(const Goodbyes&) = delete;
    ~Goodbyes()
    {
        while (!all.empty()) {
            delete *all.begin();
        }
    }
};
Goodbyes* goodbyes = nullptr;

} // namespace

// Ends a session of ours from the event loop, so that closing never waits on the UI thread:
// sends what is still queued (a QUIT, the PARTs of closing windows; dropped, others would see
// a reset instead of what we said), drains what arrives (unread bytes turn a close into a
// reset), half-closes, and lets the server end the session. Then, or after
// kGoodbyeMilliseconds, the connection is cut and the goodbye deletes itself with its socket.
class QtTcpSocket::Goodbye final : public QObject {
public:
    explicit Goodbye(QSslSocket* socket) : socket_(socket)
    {
        static Goodbyes made;
        goodbyes = &made;
        goodbyes->all.insert(this);
        connect(socket_, &QAbstractSocket::bytesWritten, this, [this] { Step(); });
        connect(socket_, &QSslSocket::encryptedBytesWritten, this, [this] { Step(); });
        connect(socket_, &QIODevice::readyRead, this, [this] { Step(); });
        connect(socket_, &QAbstractSocket::disconnected, this, [this] { Finish(); });
        connect(socket_, &QAbstractSocket::errorOccurred, this, [this] { Finish(); });
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { Finish(); });
        timer_.start(kGoodbyeMilliseconds);
        // What fits into the kernel's buffer leaves now, without waiting for the event loop.
        Step();
    }
    // Only ever deleted from the event loop or at exit: never inside one of the socket's signals.
    ~Goodbye() override
    {
        QObject::disconnect(socket_, nullptr, this, nullptr);
        socket_->abort();
        delete socket_;
        goodbyes->all.erase(this);
        if (goodbyes->all.empty() && goodbyes->waiting != nullptr) {
            goodbyes->waiting->quit();
        }
    }
    Goodbye(const Goodbye&) = delete;
    Goodbye& operator=(const Goodbye&) = delete;

private:
    qint64 Queued() const { return socket_->bytesToWrite() + socket_->encryptedBytesToWrite(); }

    void Step()
    {
        if (finished_) {
            return;
        }
        socket_->readAll();
        if (halfClosed_) {
            return;
        }
        if (Queued() > 0) {
            socket_->flush(); // may come back here through bytesWritten
        }
        if (finished_ || halfClosed_ || Queued() > 0) {
            return;
        }
        halfClosed_ = true;
        if (::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR) != 0) {
            Finish();
        }
    }

    void Finish()
    {
        if (finished_) {
            return;
        }
        finished_ = true;
        timer_.stop();
        deleteLater();
    }

    QSslSocket* socket_;
    QTimer timer_;
    bool halfClosed_ = false;
    bool finished_ = false;
};

int QtTcpSocket::PendingCloses()
{
    return goodbyes == nullptr ? 0 : static_cast<int>(goodbyes->all.size());
}

void QtTcpSocket::WaitForPendingCloses(int waitMs)
{
    if (PendingCloses() == 0 || QCoreApplication::instance() == nullptr) {
        return;
    }
    QEventLoop loop;
    goodbyes->waiting = &loop;
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    loop.exec();
    goodbyes->waiting = nullptr;
}

QtTcpSocket::QtTcpSocket() : socket_(new QSslSocket), life_(std::make_shared<Life>())
{
    Attach();
}

void QtTcpSocket::Attach()
{
    connections_ = {
        QObject::connect(socket_, &QTcpSocket::connected, socket_, [this] { OnConnected(); }),
        QObject::connect(socket_, &QSslSocket::encrypted, socket_, [this] { OnEncrypted(); }),
        QObject::connect(socket_, &QSslSocket::sslErrors, socket_,
                         [this](const QList<QSslError>& errors) { OnSslErrors(errors); }),
        QObject::connect(socket_, &QTcpSocket::disconnected, socket_, [this] { OnDisconnected(); }),
        QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] { OnReadyRead(); }),
        QObject::connect(socket_, &QTcpSocket::errorOccurred, socket_,
                         [this](QAbstractSocket::SocketError error) { OnError(static_cast<int>(error)); }),
        QObject::connect(socket_, &QTcpSocket::bytesWritten, socket_,
                         [this](qint64 written) { OnBytesWritten(written); }),
    };
}

void QtTcpSocket::Renew(bool farewell)
{
    QSslSocket* const old = std::exchange(socket_, new QSslSocket);
    for (const QMetaObject::Connection& connection : connections_) {
        QObject::disconnect(connection);
    }
    Attach();
    // A handshake still under way has no session to end politely.
    if (farewell && old->state() == QAbstractSocket::ConnectedState && (!tls_.enabled || started_)) {
        new Goodbye(old);
        return;
    }
    old->abort();
    // Given up from inside one of its own signals: Qt still works on it after we return.
    if (life_->raising > 0) {
        old->deleteLater();
    } else {
        delete old;
    }
}

QtTcpSocket::~QtTcpSocket()
{
    life_->alive = false;
    for (const QMetaObject::Connection& connection : connections_) {
        QObject::disconnect(connection);
    }
    socket_->abort();
    // Destroyed from inside one of the socket's own signals: Qt still works on it after we return.
    if (life_->raising > 0) {
        socket_->deleteLater();
    } else {
        delete socket_;
    }
}

// False when a handler destroyed this socket; its caller must then leave every member alone.
template <class F> bool QtTcpSocket::Raise(const char* where, F&& raise)
{
    const std::shared_ptr<Life> life = life_;
    ++life->raising;
    AtBoundary(where, std::forward<F>(raise));
    --life->raising;
    return life->alive;
}

std::int16_t QtTcpSocket::State() const
{
    if (peerClosed_) {
        return StateClosing;
    }
    if (failed_) {
        return StateError;
    }
    switch (socket_->state()) {
    case QAbstractSocket::UnconnectedState:
        return StateClosed;
    case QAbstractSocket::HostLookupState:
        return StateResolvingHost;
    case QAbstractSocket::ConnectingState:
        return StateConnecting;
    case QAbstractSocket::ConnectedState:
        return tls_.enabled && !started_ ? StateConnecting : StateConnected;
    case QAbstractSocket::ClosingState:
        return StateClosing;
    default:
        return StateOpen;
    }
}

void QtTcpSocket::Connect()
{
    // A fresh Qt socket for every session: QSslSocket keeps the errors it was told to ignore
    // across connects, and a certificate taken for one server would be taken for the next.
    if (used_) {
        Renew(false);
    }
    used_ = true;
    peerClosed_ = false;
    failed_ = false;
    refused_ = false;
    started_ = false;
    ++attempt_;
    // Name resolution happens asynchronously inside Qt; the UI thread never waits.
    if (!tls_.enabled) {
        socket_->connectToHost(QString::fromStdString(host_), static_cast<quint16>(port_));
        return;
    }
    if (PrepareTls()) {
        socket_->connectToHostEncrypted(QString::fromStdString(host_), static_cast<quint16>(port_));
    }
}

bool QtTcpSocket::PrepareTls()
{
    std::string problem;
    if (!QSslSocket::supportsSsl()) {
        problem = "TLS is not available: Qt has no TLS backend";
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (problem.empty() && !tls_.clientCertificate.empty()) {
        QFile file(QString::fromStdString(tls_.clientCertificate));
        if (!file.open(QIODevice::ReadOnly)) {
            problem = "cannot read the client certificate " + tls_.clientCertificate;
        } else {
            const QByteArray pem = file.readAll();
            const QList<QSslCertificate> chain = QSslCertificate::fromData(pem, QSsl::Pem);
            QSslKey key(pem, QSsl::Rsa, QSsl::Pem);
            if (key.isNull()) {
                key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
            }
            if (chain.isEmpty() || key.isNull()) {
                problem = "the client certificate " + tls_.clientCertificate +
                          " does not hold a PEM certificate and its unencrypted key";
            } else {
                configuration.setLocalCertificateChain(chain);
                configuration.setPrivateKey(key);
            }
        }
    }
    if (problem.empty()) {
        socket_->setSslConfiguration(configuration);
        return true;
    }
    // Told from the event loop, as every other failure is, never from inside Connect; a later
    // Connect or Close makes it stale.
    failed_ = true;
    const std::weak_ptr<Life> life = life_;
    const std::uint32_t attempt = attempt_;
    QMetaObject::invokeMethod(
        socket_,
        [this, life, attempt, description = std::move(problem)]() mutable {
            const auto alive = life.lock();
            if (!alive || !alive->alive || attempt != attempt_) {
                return;
            }
            Raise("socket error", [this, &description] {
                bool cancelDisplay = false;
                Error.raise(10053, description, 0, "wsConnection", "", 0, cancelDisplay);
            });
        },
        Qt::QueuedConnection);
    return false;
}

void QtTcpSocket::SendData(std::string_view bytes)
{
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string QtTcpSocket::GetData()
{
    if (!socket_->isOpen()) {
        return {};
    }
    const QByteArray data = socket_->readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void QtTcpSocket::Close()
{
    if (used_) {
        Renew(true);
        used_ = false;
    }
    peerClosed_ = false;
    failed_ = false;
    refused_ = false;
    started_ = false;
    ++attempt_;
}

void QtTcpSocket::OnConnected()
{
    if (tls_.enabled) {
        return; // connected once the handshake is through
    }
    Raise("socket connected", [this] { Connected.raise(); });
}

void QtTcpSocket::OnReadyRead()
{
    const auto total = static_cast<std::int32_t>(socket_->bytesAvailable());
    Raise("socket data arrival", [this, total] { DataArrival.raise(total); });
}

void QtTcpSocket::OnDisconnected()
{
    if (refused_) {
        return;
    }
    if (tls_.enabled && !started_) {
        // No session began: a failed handshake was reported already, and a server that hangs up
        // in the middle of one is a failed connect, not a close.
        if (failed_) {
            return;
        }
        failed_ = true;
        Raise("socket error", [this] {
            std::string description = "the server closed the connection during the TLS handshake";
            bool cancelDisplay = false;
            Error.raise(10053, description, 0, "wsConnection", "", 0, cancelDisplay);
        });
        return;
    }
    peerClosed_ = true;
    Raise("socket closed", [this] { Closed.raise(); });
}

void QtTcpSocket::OnError(int qtError)
{
    const auto error = static_cast<QAbstractSocket::SocketError>(qtError);
    // The peer closing is reported by the disconnected signal as a close, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        return;
    }
    failed_ = true;
    if (refused_) {
        return; // the refusal has said why
    }
    auto [number, text] = Describe(error, socket_->errorString());
    Raise("socket error", [this, number, description = std::move(text)]() mutable {
        bool cancelDisplay = false;
        Error.raise(number, description, 0, "wsConnection", "", 0, cancelDisplay);
    });
}

void QtTcpSocket::OnBytesWritten(long long written)
{
    const auto remaining = static_cast<std::int32_t>(socket_->bytesToWrite());
    const std::uint32_t attempt = attempt_;
    if (!Raise("socket send progress", [this, written, remaining] {
            SendProgress.raise(static_cast<std::int32_t>(written), remaining);
        })) {
        return;
    }
    if (remaining == 0 && attempt == attempt_) {
        Raise("socket send complete", [this] { SendComplete.raise(); });
    }
}

void QtTcpSocket::OnSslErrors(const QList<QSslError>& errors)
{
    const QSslCertificate certificate = socket_->peerCertificate();
    const std::string fingerprint = Fingerprint(certificate);
    if (!tls_.pinnedSha256.empty() && !fingerprint.empty() && fingerprint == tls_.pinnedSha256) {
        socket_->ignoreSslErrors(errors);
        return;
    }
    if (!tls_.pinnedSha256.empty()) {
        Refuse(kNotPinned, true);
        return;
    }
    std::string reason;
    for (const QSslError& error : errors) {
        const std::string text = error.errorString().toStdString();
        if (reason.find(text) == std::string::npos) {
            reason += (reason.empty() ? "" : "; ") + text;
        }
    }
    Refuse(std::move(reason), false);
}

void QtTcpSocket::OnEncrypted()
{
    // A chain that verifies does not overrule a pin: the user trusts one certificate here.
    if (!tls_.pinnedSha256.empty() && Fingerprint(socket_->peerCertificate()) != tls_.pinnedSha256) {
        Refuse(kNotPinned, true);
        return;
    }
    started_ = true;
    Raise("socket connected", [this] { Connected.raise(); });
}

void QtTcpSocket::Refuse(std::string reason, bool pinMismatch)
{
    const std::uint32_t attempt = attempt_;
    if (!refused_) {
        refused_ = true;
        failed_ = true;
        const QSslCertificate certificate = socket_->peerCertificate();
        CertificateRefusal refusal;
        refusal.reason = std::move(reason);
        refusal.fingerprint = Fingerprint(certificate);
        refusal.subject = Names(certificate, false);
        refusal.issuer = Names(certificate, true);
        refusal.validFrom = certificate.effectiveDate().toUTC().toString(Qt::ISODate).toStdString();
        refusal.validUntil = certificate.expiryDate().toUTC().toString(Qt::ISODate).toStdString();
        refusal.pinMismatch = pinMismatch;
        if (!Raise("certificate refused", [this, &refusal] { CertificateRefused.raise(refusal); })) {
            return;
        }
    }
    // Cut at once, unless a listener has moved the socket on: not one byte of a refused server
    // is read.
    if (attempt == attempt_) {
        socket_->abort();
    }
}

std::unique_ptr<TcpSocket> QtSocketFactory::CreateSocket()
{
    return std::make_unique<QtTcpSocket>();
}

} // namespace tellix
