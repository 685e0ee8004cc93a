// One client per user: a later start hands its address to the running client over a local
// socket and ends; with none running it starts itself, and a dead client's socket file does
// not stand in its way.
#include "platform/qtcore/SingleInstance.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tellix::test {
namespace {

// The program as the desktop starts it, with its runtime and settings folders in `dir`.
struct Start {
    QProcess process;

    Start(const QTemporaryDir& dir, const QString& address)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TELLIX_BINARY), {address});
    }
    ~Start()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool Ended()
    {
        return PumpUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(10));
    }
};

TEST(SingleInstance, ALaterStartHandsItsAddressToTheRunningClientAndEnds)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    std::vector<QString> opened;
    SingleInstance running([&](const QString& address) { opened.push_back(address); });
    const QString name = dir.path() + QStringLiteral("/tellix.socket");
    ASSERT_TRUE(running.Listen(name));

    Start later(dir, QStringLiteral("irc://irc.example.org:6667/#room"));
    ASSERT_TRUE(later.Ended());
    EXPECT_EQ(later.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.process.exitCode(), 0);
    ASSERT_TRUE(PumpUntil([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<QString>{QStringLiteral("irc://irc.example.org:6667/#room")});

    // A second listener on the same name finds the live one and stays out.
    SingleInstance second([](const QString&) {});
    EXPECT_FALSE(second.Listen(name));
}

TEST(SingleInstance, WithNoneRunningTheStartListensItselfAndItsLeftoverDoesNotBlockTheNext)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    const QString name = dir.path() + QStringLiteral("/tellix.socket");
    {
        // Nobody listens there: the program starts as the client (its connect fails quietly).
        Start first(dir, QStringLiteral("irc://127.0.0.1:%1/#room").arg(FreeLoopbackPort()));
        ASSERT_TRUE(PumpUntil([&] { return QFileInfo::exists(name); }, std::chrono::seconds(10)));
        EXPECT_EQ(first.process.state(), QProcess::Running);
        // It takes addresses now.
        EXPECT_TRUE(SingleInstance::HandOver(QStringLiteral("irc://elsewhere.test/#other"), name));
        first.process.kill(); // a crash: the socket file stays behind
        ASSERT_TRUE(first.Ended());
    }
    ASSERT_TRUE(QFileInfo::exists(name));
    EXPECT_FALSE(SingleInstance::HandOver(QStringLiteral("irc://x.test/"), name, 1000)) << "no one takes it";

    std::vector<QString> opened;
    SingleInstance next([&](const QString& address) { opened.push_back(address); });
    ASSERT_TRUE(next.Listen(name));
    Start later(dir, QStringLiteral("ircs://irc.example.org/room"));
    ASSERT_TRUE(later.Ended());
    EXPECT_EQ(later.process.exitCode(), 0);
    ASSERT_TRUE(PumpUntil([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<QString>{QStringLiteral("ircs://irc.example.org/room")});
}

TEST(SingleInstance, AnEndlessLineIsDroppedUnopened)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    const QString name = dir.path() + QStringLiteral("/tellix.socket");
    std::vector<QString> opened;
    SingleInstance running([&](const QString& address) { opened.push_back(address); });
    ASSERT_TRUE(running.Listen(name));
    QLocalSocket sender;
    sender.connectToServer(name);
    ASSERT_TRUE(PumpUntil([&] { return sender.state() == QLocalSocket::ConnectedState; }));
    sender.write(QByteArray(SingleInstance::kLongestAddress * 4, 'x'));
    ASSERT_TRUE(PumpUntil([&] { return sender.state() == QLocalSocket::UnconnectedState; }));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(opened.empty());
}

// The other way: whatever holds the socket answers without end. The start reads a few bytes
// of it, takes it for no client and starts itself, instead of waiting on it for ever.
TEST(SingleInstance, AnEndlessAnswerIsNoHandOver)
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + QStringLiteral("/tellix.socket")).toStdString();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    std::thread flood([listener] {
        const int peer = ::accept(listener, nullptr, nullptr);
        const std::string chunk(4096, 'x');
        while (peer >= 0 && ::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
        if (peer >= 0) {
            ::close(peer);
        }
    });
    EXPECT_FALSE(SingleInstance::HandOver(QStringLiteral("irc://irc.example.org/room"),
                                          QString::fromStdString(path), 2000));
    ::shutdown(listener, SHUT_RDWR);
    flood.join();
    ::close(listener);
}

} // namespace
} // namespace tellix::test
