#pragma once

#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace tellix {

// One client per user: the first start listens on a local socket of the user's own, and a
// later start with an irc:// address hands the address over there and ends. Both ends ask the
// kernel who is on the other side and deal only with a process of the same user.
class SingleInstance {
public:
    using Opened = std::function<void(const QString& address)>;

    // In $XDG_RUNTIME_DIR, or else in a folder of the user's own in the temporary folder: made
    // with mode 0700, and refused when it is a link, no folder or another user's. Empty when
    // refused, after a line on standard error: the client then runs without the socket.
    static QString DefaultName();
    // Hands `address` to the client listening on `name`; true once it has taken it. A name no
    // client listens on any more (a crashed one's leftover), or one held by another user,
    // answers false.
    static bool HandOver(const QString& address, const QString& name = DefaultName(), int waitMs = 3000);

    explicit SingleInstance(Opened opened);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Listens for the addresses of later starts; only processes of this user are heard. False
    // when a live client listens there already (one of another user is told on standard
    // error); a leftover socket file of a dead one is taken over.
    bool Listen(const QString& name = DefaultName());

    // Longer lines are no address: the sender is dropped.
    static constexpr qsizetype kLongestAddress = 4096;

private:
    void Accept();
    void Read(QLocalSocket* socket);

    Opened opened_;
    QLocalServer* server_ = nullptr;
};

} // namespace tellix
