#include "IrcServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tellix::test {

namespace {

bool Accepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        throw std::runtime_error("socket() failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot find a free loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

IrcServer::IrcServer(const Options& options)
{
    char pattern[] = "/tmp/tellix-ircd-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = pattern;
    port_ = FreeLoopbackPort();

    const auto conf = dir_ / "ngircd.conf";
    {
        std::ofstream out(conf);
        out << "[Global]\n"
            << "    Name = " << Name() << "\n"
            << "    Info = Tellix test server\n"
            << "    Listen = 127.0.0.1\n"
            << "    Ports = " << port_ << "\n"
            << "    MotdPhrase = Tellix test server\n"
            << "    PidFile = " << (dir_ / "ngircd.pid").string() << "\n"
            << "[Limits]\n"
            << "    PingTimeout = " << options.pingSeconds << "\n"
            << "    PongTimeout = " << options.pongSeconds << "\n"
            << "    MaxConnectionsIP = 0\n"
            << "    MaxJoins = 0\n"
            << "[Options]\n"
            << "    DNS = no\n"
            << "    Ident = no\n"
            << "    PAM = no\n"
            << "    RequireAuthPing = no\n"
            << "    OperCanUseMode = yes\n"
            << "[Operator]\n"
            << "    Name = tellix\n"
            << "    Password = tellix\n";
    }

    const std::string log = (dir_ / "ngircd.log").string();
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
        }
        const std::string confPath = conf.string();
        ::execl("/usr/sbin/ngircd", "ngircd", "--nodaemon", "--passive", "--config", confPath.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!Accepts(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("ngircd exited at start:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop(SIGKILL);
            throw std::runtime_error("ngircd did not accept connections in time:\n" + Log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

IrcServer::~IrcServer()
{
    Stop(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void IrcServer::Kill()
{
    Stop(SIGKILL);
}

void IrcServer::Stop(int signal)
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

std::string IrcServer::Log() const
{
    std::ifstream in(dir_ / "ngircd.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace tellix::test
