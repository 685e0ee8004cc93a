#include "IrcServer.h"

#include "TestCertificate.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
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

IrcServer::IrcServer(const Options& options) : kind_(options.kind)
{
    char pattern[] = "/tmp/tellix-ircd-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = pattern;
    port_ = FreeLoopbackPort();

    const auto conf = kind_ == Kind::Ngircd ? WriteNgircdConfig(options) : WriteInspircdConfig(options);
    const std::string log = (dir_ / "server.log").string();
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
        // InspIRCd may crash in its own exit when stopped; its core file is no test's business.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const std::string confPath = conf.string();
        if (kind_ == Kind::Ngircd) {
            ::execl("/usr/sbin/ngircd", "ngircd", "--nodaemon", "--passive", "--config", confPath.c_str(),
                    static_cast<char*>(nullptr));
        } else {
            ::execl("/usr/sbin/inspircd", "inspircd", "--nofork", "--runasroot", "--nopid", "--config",
                    confPath.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!Accepts(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("IRC server exited at start:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop(SIGKILL);
            throw std::runtime_error("IRC server did not accept connections in time:\n" + Log());
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
    StopProcess(pid_, signal);
    pid_ = -1;
}

void StopProcess(pid_t pid, int signal)
{
    ::kill(pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::filesystem::path IrcServer::WriteNgircdConfig(const Options& options) const
{
    const auto conf = dir_ / "ngircd.conf";
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
    return conf;
}

std::filesystem::path IrcServer::WriteInspircdConfig(const Options& options)
{
    std::string tls;
    if (options.tls) {
        const TestCertificate certificate = MakeIssued(dir_, "server", Name());
        fingerprint_ = certificate.fingerprint;
        tls = " sslprofile=\"Clients\"";
        do {
            plainPort_ = FreeLoopbackPort();
        } while (plainPort_ == port_);
    }
    const auto conf = dir_ / "inspircd.conf";
    const auto motd = dir_ / "motd.txt";
    std::ofstream(motd) << "Tellix test server\n";
    std::ofstream out(conf);
    out << "<server name=\"" << Name() << "\" description=\"Tellix test server\" network=\"TellixNet\">\n"
        << "<admin name=\"Tellix\" nick=\"tellix\" email=\"tellix@localhost\">\n"
        << "<bind address=\"127.0.0.1\" port=\"" << port_ << "\" type=\"clients\"" << tls << ">\n"
        << (plainPort_ != 0
                ? "<bind address=\"127.0.0.1\" port=\"" + std::to_string(plainPort_) + "\" type=\"clients\">\n"
                : "")
        << "<connect allow=\"*\" timeout=\"60\" threshold=\"100000\" commandrate=\"1000000\" fakelag=\"off\""
        << " pingfreq=\"" << options.pingSeconds << "\" hardsendq=\"4194304\" softsendq=\"1048576\""
        << " recvq=\"1048576\" localmax=\"1000\" globalmax=\"1000\" resolvehostnames=\"no\" useident=\"no\">\n"
        << "<class name=\"BanControl\" commands=\"KILL GLINE KLINE ZLINE QLINE ELINE\">\n"
        << "<type name=\"NetAdmin\" classes=\"BanControl\">\n"
        << "<oper name=\"tellix\" password=\"tellix\" host=\"*@*\" type=\"NetAdmin\">\n"
        << "<log method=\"file\" type=\"*\" level=\"default\" target=\"" << (dir_ / "inspircd.log").string()
        << "\">\n"
        << "<files motd=\"" << motd.string() << "\">\n"
        << "<options prefixquit=\"Quit: \">\n"
        << "<security hideserver=\"\">\n"
        << "<dns server=\"127.0.0.1\" timeout=\"1\">\n";
    if (options.capabilities) {
        for (const char* module : {"cap", "ircv3", "ircv3_servertime", "ircv3_echomessage", "ircv3_capnotify",
                                   "ircv3_chghost", "ircv3_batch", "ircv3_ctctags", "ircv3_msgid",
                                   "ircv3_labeledresponse", "namesx", "uhnames", "sasl"}) {
            out << "<module name=\"" << module << "\">\n";
        }
        // Offered only while these services are linked: none are, unless a test links them.
        out << "<sasl target=\"" << ServicesName() << "\">\n";
    }
    if (options.servicesPort != 0) {
        // Services link as a server; the U-line lets them set accounts and speak for NickServ.
        out << "<module name=\"spanningtree\">\n"
            << "<module name=\"services_account\">\n"
            << "<bind address=\"127.0.0.1\" port=\"" << options.servicesPort << "\" type=\"servers\">\n"
            << "<link name=\"" << ServicesName() << "\" ipaddr=\"127.0.0.1\" port=\"" << options.servicesPort
            << "\" allowmask=\"127.0.0.1/32\" sendpass=\"" << options.servicesPassword << "\" recvpass=\""
            << options.servicesPassword << "\">\n"
            << "<uline server=\"" << ServicesName() << "\" silent=\"yes\">\n";
    }
    if (options.tls) {
        out << "<module name=\"ssl_gnutls\">\n"
            << "<module name=\"sslinfo\">\n"
            << "<sslprofile name=\"Clients\" provider=\"gnutls\" certfile=\"" << (dir_ / "server.pem").string()
            << "\" keyfile=\"" << (dir_ / "server.key").string() << "\" cafile=\"\" crlfile=\"\" dhfile=\"\""
            << " hash=\"sha256\" requestclientcert=\"yes\">\n";
    }
    return conf;
}

std::string IrcServer::Log() const
{
    std::ifstream in(dir_ / "server.log");
    std::ifstream detail(dir_ / "inspircd.log");
    std::stringstream text;
    text << in.rdbuf();
    if (detail) {
        text << detail.rdbuf();
    }
    return text.str();
}

} // namespace tellix::test
