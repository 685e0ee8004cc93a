#pragma once

#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace tellix {

// One client per user: the first start listens on a local socket of the user's own, and a
// later start with an irc:// address hands the address over there and ends.
class SingleInstance {
public:
    using Opened = std::function<void(const QString& address)>;

    // In $XDG_RUNTIME_DIR, or else a name of the user's own in the temporary folder.
    static QString DefaultName();
    // Hands `address` to the client listening on `name`; true once it has taken it. A name no
    // client listens on any more (a crashed one's leftover) answers false at once.
    static bool HandOver(const QString& address, const QString& name = DefaultName(), int waitMs = 3000);

    explicit SingleInstance(Opened opened);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Listens for the addresses of later starts. False when a live client listens there
    // already; a leftover socket file of a dead one is taken over.
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
