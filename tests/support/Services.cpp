#include "Services.h"

#include "RawPeer.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tellix::test {

namespace {

constexpr const char* kAtheme = "/usr/bin/atheme-services";

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

Services::Services(const Options& options)
{
    char pattern[] = "/tmp/tellix-services-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = pattern;
    std::filesystem::create_directory(dir_ / "data");

    IrcServer::Options ircd;
    ircd.kind = IrcServer::Kind::InspIRCd;
    ircd.capabilities = true;
    ircd.tls = options.tls;
    ircd.servicesPort = FreeLoopbackPort();
    ircd.servicesPassword = "tellix-link";
    server_ = std::make_unique<IrcServer>(ircd);

    const auto conf = WriteConfig(ircd.servicesPort, ircd.servicesPassword);
    const std::string log = (dir_ / "atheme.log").string();
    const std::string screen = (dir_ / "atheme.out").string();
    const std::string pidFile = (dir_ / "atheme.pid").string();
    const std::string data = (dir_ / "data").string();
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        // In the foreground Atheme also writes its log to the terminal: keep that out of the test's.
        const int fd = ::open(screen.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
        }
        ::execl(kAtheme, "atheme-services", "-n", "-c", conf.c_str(), "-l", log.c_str(), "-p", pidFile.c_str(),
                "-D", data.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!Linked()) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("services exited at start:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("services did not link in time:\n" + Log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Services::~Services()
{
    Stop();
    server_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void Services::Stop()
{
    if (pid_ <= 0) {
        return;
    }
    if (frozen_) {
        ::kill(pid_, SIGCONT); // else SIGTERM waits, and only SIGKILL ends it
        frozen_ = false;
    }
    StopProcess(pid_, SIGTERM);
    pid_ = -1;
}

void Services::Freeze()
{
    if (pid_ > 0 && ::kill(pid_, SIGSTOP) == 0) {
        frozen_ = true;
    }
}

std::filesystem::path Services::WriteConfig(std::uint16_t linkPort, const std::string& linkPassword) const
{
    const auto conf = dir_ / "atheme.conf";
    std::ofstream out(conf);
    // Only what a SASL login needs: the link, accounts kept in a flat file, hashed passwords,
    // NickServ to register and add certificates, SaslServ for PLAIN and EXTERNAL.
    out << "loadmodule \"modules/protocol/inspircd\";\n"
        << "loadmodule \"modules/backend/opensex\";\n"
        << "loadmodule \"modules/crypto/pbkdf2v2\";\n";
    for (const char* module : {"nickserv/main", "nickserv/register", "nickserv/identify", "nickserv/cert",
                               "saslserv/main", "saslserv/plain", "saslserv/external"}) {
        out << "loadmodule \"modules/" << module << "\";\n";
    }
    out << "serverinfo {\n"
        << "    name = \"" << IrcServer::ServicesName() << "\";\n"
        << "    desc = \"Tellix test services\";\n"
        << "    numeric = \"00A\";\n"
        << "    recontime = 1;\n" // the first try may come before the server listens
        << "    netname = \"TellixNet\";\n"
        << "    hidehostsuffix = \"users.tellix.test\";\n"
        << "    adminname = \"Tellix\";\n"
        << "    adminemail = \"tellix@localhost\";\n"
        << "    registeremail = \"tellix@localhost\";\n"
        << "    mta = \"/bin/true\";\n" // never mail anyone
        << "    loglevel = { error; info; admin; network; register; };\n"
        << "    maxlogins = 5;\n"
        << "    maxusers = 5;\n"
        << "    auth = none;\n" // accounts work without an e-mailed key
        << "    casemapping = rfc1459;\n"
        << "};\n"
        << "uplink \"" << server_->Name() << "\" {\n"
        << "    host = \"127.0.0.1\";\n"
        << "    port = " << linkPort << ";\n"
        << "    password = \"" << linkPassword << "\";\n"
        << "};\n"
        << "general {\n"
        << "    commit_interval = 5;\n"
        << "    language = \"en\";\n"
        << "};\n";
    for (const char* service : {"nickserv", "saslserv"}) {
        const std::string nick = service == std::string("nickserv") ? "NickServ" : "SaslServ";
        out << service << " {\n"
            << "    nick = \"" << nick << "\";\n"
            << "    user = \"" << nick << "\";\n"
            << "    host = \"" << IrcServer::ServicesName() << "\";\n"
            << "    real = \"" << nick << "\";\n"
            << "};\n";
    }
    return conf;
}

bool Services::Linked() const
{
    // Written once the burst is through both ways: the server offers sasl from then on.
    return ReadAll(dir_ / "atheme.log").find("finished synching with uplink") != std::string::npos;
}

void Services::RegisterAccount(const std::string& account, const std::string& password)
{
    RawPeer peer(server_->PlainPort());
    peer.Register(account);
    peer.Send("PRIVMSG NickServ :REGISTER " + password + " " + account + "@tellix.test");
    if (!peer.WaitFor(" is now registered to ")) {
        throw std::runtime_error("NickServ did not register " + account + ":\n" + Log());
    }
    peer.Send("QUIT");
    peer.WaitClosed();
}

std::string Services::Log() const
{
    return server_->Log() + ReadAll(dir_ / "atheme.log");
}

} // namespace tellix::test
