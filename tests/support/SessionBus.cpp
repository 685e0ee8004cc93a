#include "support/SessionBus.h"

#include <array>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace tellix::test {

namespace {

using namespace std::chrono_literals;

// The first line `fd` gives within a few seconds.
std::string ReadLine(int fd)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char c = 0;
        if (::read(fd, &c, 1) != 1 || c == '\n') {
            break;
        }
        line += c;
    }
    return line;
}
} // namespace

std::string StartSessionBus(const std::filesystem::path& dir)
{
    std::array<int, 2> address{};
    if (::pipe(address.data()) != 0) {
        return {};
    }
    const std::string listen = "unix:path=" + (dir / "bus").string();
    const pid_t bus = ::fork();
    if (bus == 0) {
        // GLib ends a process whose session bus closes: the bus goes when this process does.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(address[1], STDOUT_FILENO);
        ::close(address[0]);
        ::execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1",
                ("--address=" + listen).c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(address[1]);
    std::string busAddress = bus < 0 ? std::string() : ReadLine(address[0]);
    ::close(address[0]);
    return busAddress;
}

} // namespace tellix::test
