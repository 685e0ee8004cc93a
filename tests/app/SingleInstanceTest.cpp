// One client per user: a later start hands its address to the running client over a local
// socket and ends; with none running it starts itself, and a dead client's socket file does
// not stand in its way. Another local user can neither take the addresses nor hand any.
#include "platform/qtcore/SingleInstance.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/ScriptedServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
        Run(env, address);
    }
    // With no runtime folder: the temporary folder is `temp`.
    Start(const QString& temp, const QString& config, const QString& address)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("TMPDIR"), temp);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        Run(env, address);
    }
    void Run(QProcessEnvironment env, const QString& address)
    {
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

constexpr uid_t kNobody = 65534;

sockaddr_un LocalAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    EXPECT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
    return address;
}

// Another local user, played by a child process running as nobody. It tells the test what it
// heard through a pipe, and is killed when the test is done with it.
class OtherUser {
public:
    // Runs `work` as nobody; it gets the pipe's writing end. Everything it needs is made before
    // the fork: after it, the child uses system calls only.
    template <class Work> explicit OtherUser(Work work)
    {
        EXPECT_EQ(::pipe2(pipe_, O_CLOEXEC), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(pipe_[0]);
            if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(100);
            }
            work(pipe_[1]);
            ::_exit(0);
        }
        ::close(pipe_[1]);
    }
    ~OtherUser()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(pipe_[0]);
    }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    // Reads what the child said until it wrote `count` bytes or `wait` passed.
    std::string Heard(std::size_t count, std::chrono::milliseconds wait = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (heard_.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{pipe_[0], POLLIN, 0};
            if (::poll(&ready, 1, 10) > 0) {
                char buffer[256];
                const ssize_t n = ::read(pipe_[0], buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                heard_.append(buffer, static_cast<std::size_t>(n));
            }
            QCoreApplication::processEvents();
        }
        return heard_;
    }

private:
    int pipe_[2] = {-1, -1};
    pid_t pid_ = -1;
    std::string heard_;
};

// A squatter's listener: tells "L" once it listens, then answers every sender as a client
// would, and passes on what it was sent.
void Squat(int tell, const std::vector<sockaddr_un>& names)
{
    std::vector<pollfd> listeners;
    for (const sockaddr_un& name : names) {
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(listener, reinterpret_cast<const sockaddr*>(&name), sizeof name) != 0 ||
            ::listen(listener, 4) != 0) {
            ::_exit(101);
        }
        ::chmod(name.sun_path, 0777);
        listeners.push_back({listener, POLLIN, 0});
    }
    (void)!::write(tell, "L", 1);
    while (::poll(listeners.data(), listeners.size(), -1) > 0) {
        for (const pollfd& listener : listeners) {
            if ((listener.revents & POLLIN) == 0) {
                continue;
            }
            const int sender = ::accept(listener.fd, nullptr, nullptr);
            char buffer[512];
            const ssize_t n = ::read(sender, buffer, sizeof buffer);
            if (n > 0) {
                (void)!::write(tell, buffer, static_cast<std::size_t>(n));
                (void)!::write(sender, "ok\n", 3);
            }
            ::close(sender);
        }
    }
}

bool Root()
{
    return ::geteuid() == 0;
}

// Both ends ask who is on the other side: a listener of another user is handed nothing (and a
// start finding one says so), and a sender of another user is not heard.
TEST(SingleInstance, AnotherUsersListenerGetsNoAddressAndAnotherUsersSenderIsNotHeard)
{
    if (!Root()) {
        GTEST_SKIP() << "playing another user needs root";
    }
    EnsureQtApplication();
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    const QString squatted = dir.path() + QStringLiteral("/squatted.socket");
    {
        OtherUser squatter(
            [names = std::vector{LocalAddress(squatted.toStdString())}](int tell) { Squat(tell, names); });
        ASSERT_EQ(squatter.Heard(1), "L");
        EXPECT_FALSE(SingleInstance::HandOver(QStringLiteral("irc://irc.example.org/#secret"), squatted, 2000));
        testing::internal::CaptureStderr();
        SingleInstance mine([](const QString&) {});
        EXPECT_FALSE(mine.Listen(squatted));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("held by another user"), std::string::npos) << said;
        EXPECT_EQ(squatter.Heard(100, std::chrono::milliseconds(200)), "L") << "the squatter was sent something";
    }

    std::vector<QString> opened;
    SingleInstance running([&](const QString& address) { opened.push_back(address); });
    const QString name = dir.path() + QStringLiteral("/tellix.socket");
    ASSERT_TRUE(running.Listen(name));
    ::chmod(QFile::encodeName(name).constData(), 0777); // only the kernel's word on the sender stops it now
    OtherUser sender([address = LocalAddress(name.toStdString())](int tell) {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            (void)!::write(tell, "no connect", 10);
            return;
        }
        (void)!::write(socket, "irc://evil.test/#trap\n", 22);
        char answer[16];
        const ssize_t n = ::read(socket, answer, sizeof answer);
        (void)!::write(tell, "answer:", 7);
        if (n > 0) {
            (void)!::write(tell, answer, static_cast<std::size_t>(n));
        }
        (void)!::write(tell, ".", 1);
    });
    const std::string heard = sender.Heard(9);
    EXPECT_EQ(heard, "answer:.") << "the sender of another user was answered";
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(opened.empty());
}

// Without a runtime folder the socket lives in a folder of the user's own under the temporary
// folder; what stands at that name and is not such a folder is refused, not used.
TEST(SingleInstance, WithoutARuntimeFolderTheSocketIsInAPrivateFolderOfOurOwn)
{
    QTemporaryDir temp;
    QTemporaryDir runtime;
    const std::string folder = (temp.path() + QStringLiteral("/tellix-%1").arg(::geteuid())).toStdString();
    const std::string elsewhere = temp.path().toStdString() + "/elsewhere";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string runtime;  // XDG_RUNTIME_DIR, unset when empty
        bool root;            // only root can hand a folder to another user
        std::string expected; // the name, or empty when refused
        std::string said;     // on standard error
        std::string checked;  // whose mode is then
        mode_t mode;
    } rows[] = {
        {"none yet", [] {}, "", false, folder + "/tellix.socket", "", folder, 0700},
        {"ours, open to all", [&] { ::mkdir(folder.c_str(), 0755); }, "", false, folder + "/tellix.socket", "",
         folder, 0700},
        {"a link to a folder of ours",
         [&] {
             ::mkdir(elsewhere.c_str(), 0755);
             ::symlink(elsewhere.c_str(), folder.c_str());
         },
         "", false, "", "is a link", elsewhere, 0755},
        {"a file", [&] { std::fclose(std::fopen(folder.c_str(), "w")); }, "", false, "", "is not a folder", "", 0},
        {"another user's",
         [&] {
             ::mkdir(folder.c_str(), 0777);
             ::chmod(folder.c_str(), 0777);
             (void)!::chown(folder.c_str(), kNobody, kNobody);
         },
         "", true, "", "belongs to another user", folder, 0777},
        {"a runtime folder of ours", [] {}, runtime.path().toStdString(), false,
         runtime.path().toStdString() + "/tellix.socket", "", "", 0},
        {"a runtime folder of another user's",
         [&] { (void)!::chown(QFile::encodeName(runtime.path()).constData(), kNobody, kNobody); },
         runtime.path().toStdString(), true, folder + "/tellix.socket", "", folder, 0700},
    };
    const std::optional<QByteArray> savedRuntime =
        qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") ? std::optional(qgetenv("XDG_RUNTIME_DIR")) : std::nullopt;
    const std::optional<QByteArray> savedTemp =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.root && !Root()) {
            std::printf("skipped \"%s\": handing a folder to another user needs root\n", row.name);
            continue;
        }
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(elsewhere);
        row.make();
        if (row.runtime.empty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(row.runtime));
        }
        testing::internal::CaptureStderr();
        const QString name = SingleInstance::DefaultName();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(name.toStdString(), row.expected);
        if (row.said.empty()) {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_NE(said.find(row.said), std::string::npos) << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        }
        if (!row.checked.empty()) {
            struct stat status {};
            ASSERT_EQ(::stat(row.checked.c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 07777, row.mode);
        }
    }
    for (const auto& [variable, saved] :
         {std::pair{"XDG_RUNTIME_DIR", savedRuntime}, std::pair{"TMPDIR", savedTemp}}) {
        if (saved) {
            qputenv(variable, *saved);
        } else {
            qunsetenv(variable);
        }
    }
    std::filesystem::remove_all(folder);
}

// A squatter of another user got in first, at the name a start of ours would pick: the start
// hands it nothing, says so, and runs as the client itself.
TEST(SingleInstance, AStartFindingTheNameTakenByAnotherUserRunsAsTheClientAndSaysSo)
{
    if (!Root()) {
        GTEST_SKIP() << "playing another user needs root";
    }
    EnsureQtApplication();
    QTemporaryDir temp;
    ::chmod(QFile::encodeName(temp.path()).constData(), 01777);
    const std::string prefix = (temp.path() + QStringLiteral("/tellix-%1").arg(::geteuid())).toStdString();
    // The folder a start of ours would make, and the bare name in the temporary folder.
    const std::string folder = prefix;
    OtherUser squatter([folder, names = std::vector{LocalAddress(prefix + "/tellix.socket"),
                                                    LocalAddress(prefix + ".socket")}](int tell) {
        ::mkdir(folder.c_str(), 0777);
        ::chmod(folder.c_str(), 0777);
        Squat(tell, names);
    });
    ASSERT_EQ(squatter.Heard(1), "L");

    ScriptedServer server([](ScriptedServer::Session&, const std::string&) {});
    QTemporaryDir config;
    Start start(temp.path(), config.path(), QStringLiteral("irc://127.0.0.1:%1/#room").arg(server.Port()));
    ASSERT_TRUE(PumpUntil([&] { return !server.Sessions().empty() && !server.Sessions()[0]->Received().empty(); },
                          std::chrono::seconds(10)))
        << "the start did not run as the client";
    EXPECT_EQ(start.process.state(), QProcess::Running);
    const std::string said = start.process.readAllStandardError().toStdString();
    EXPECT_NE(said.find("belongs to another user"), std::string::npos) << said;
    EXPECT_EQ(squatter.Heard(100, std::chrono::milliseconds(200)), "L") << "the squatter was handed the address";
}

} // namespace
} // namespace tellix::test
