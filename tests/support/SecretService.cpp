#include "support/SecretService.h"

#include "support/IrcServer.h"
#include "support/SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QString>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tellix::test {

using namespace std::chrono_literals;

SecretService::SecretService()
{
    char pattern[] = "/tmp/tellix-secrets-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = pattern;
    const std::filesystem::path run = dir_ / "run";
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);
    const std::string log = (dir_ / "services.log").string();

    const std::string busAddress = StartSessionBus(dir_);
    if (busAddress.empty()) {
        Stop();
        throw std::runtime_error("dbus-daemon did not start");
    }

    // The keyring is made, and unlocked, with the password it reads from standard input.
    std::array<int, 2> password{};
    if (::pipe(password.data()) != 0) {
        Stop();
        throw std::runtime_error("pipe failed");
    }
    keyring_ = ::fork();
    if (keyring_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that dies leaves no keyring behind
        ::dup2(password[0], STDIN_FILENO);
        ::close(password[1]);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::setenv("HOME", dir_.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
        ::execl("/usr/bin/gnome-keyring-daemon", "gnome-keyring-daemon", "--foreground", "--components=secrets",
                "--unlock", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(password[0]);
    static constexpr char kKeyringPassword[] = "tellix";
    const bool written = ::write(password[1], kKeyringPassword, sizeof kKeyringPassword - 1) > 0;
    ::close(password[1]);
    if (keyring_ < 0 || !written) {
        Stop();
        throw std::runtime_error("gnome-keyring-daemon did not start");
    }

    // Asked before it owns its name, a store would find no service.
    bool up = false;
    {
        QDBusConnection probe = QDBusConnection::connectToBus(QString::fromStdString(busAddress), "secrets-probe");
        for (int i = 0; i < 250 && !up; ++i) {
            up = probe.isConnected() && probe.interface()->isServiceRegistered("org.freedesktop.secrets");
            if (!up) {
                std::this_thread::sleep_for(20ms);
            }
        }
    }
    QDBusConnection::disconnectFromBus("secrets-probe");
    if (!up) {
        Stop();
        throw std::runtime_error("the Secret Service did not come up on the test bus");
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
}

SecretService::~SecretService()
{
    Stop();
}

void SecretService::Stop()
{
    if (keyring_ > 0) {
        StopProcess(keyring_, SIGTERM);
        keyring_ = -1;
    }
    // The bus stays until this process ends (see the start); its folder may go.
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

} // namespace tellix::test
