#include "Bouncer.h"

#include "IrcServer.h"
#include "RawPeer.h"
#include "TestCertificate.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tellix::test {

namespace {

// ZNC run by root waits thirty seconds before it starts, as a warning; a test runs it as nobody.
constexpr uid_t kNobody = 65534;

void HandOver(const std::filesystem::path& dir)
{
    if (::chown(dir.c_str(), kNobody, kNobody) != 0) {
        throw std::runtime_error("cannot hand " + dir.string() + " to nobody");
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (::chown(entry.path().c_str(), kNobody, kNobody) != 0) {
            throw std::runtime_error("cannot hand " + entry.path().string() + " to nobody");
        }
    }
}

// True when a names reply line lists `nick`, with or without its channel mode prefix.
bool ListsNick(const std::string& line, const std::string& nick)
{
    const std::size_t colon = line.find(" :");
    if (line.find(" 353 ") == std::string::npos || colon == std::string::npos) {
        return false;
    }
    std::istringstream names(line.substr(colon + 2));
    std::string name;
    while (names >> name) {
        const std::size_t start = name.find_first_not_of("~&@%+");
        if (start != std::string::npos && name.substr(start) == nick) {
            return true;
        }
    }
    return false;
}

} // namespace

Bouncer::Bouncer(const IrcServer& upstream, const Options& options) : options_(options)
{
    char pattern[] = "/tmp/tellix-znc-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = pattern;
    port_ = FreeLoopbackPort();

    // ZNC wants its certificate and key in one znc.pem in its folder.
    const TestCertificate certificate = MakeSelfSigned(dir_, "znc-certificate");
    fingerprint_ = certificate.fingerprint;
    std::filesystem::rename(CombinedPem(certificate), dir_ / "znc.pem");
    WriteConfig(upstream.Port());
    const bool root = ::geteuid() == 0;
    if (root) {
        HandOver(dir_);
    }

    const std::string log = (dir_ / "znc.log").string();
    const std::string dir = dir_.string();
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
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(126);
        }
        ::execl("/usr/bin/znc", "znc", "--foreground", "--datadir", dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }

    // Ready once the bouncer sits in its channel upstream: its listener was bound before that.
    RawPeer watch(upstream.Port());
    watch.Register("zncwatch");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (true) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("ZNC exited at start:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("ZNC did not join " + options_.channel + " upstream in time:\n" + Log());
        }
        watch.Send("NAMES " + options_.channel);
        const auto line = watch.WaitUntil(
            [&](const std::string& l) {
                return ListsNick(l, options_.nick) || l.find(" 366 ") != std::string::npos;
            },
            std::chrono::seconds(2));
        if (line && ListsNick(*line, options_.nick)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Bouncer::~Bouncer()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void Bouncer::Stop()
{
    if (pid_ <= 0) {
        return;
    }
    StopProcess(pid_, SIGTERM);
    pid_ = -1;
}

void Bouncer::WriteConfig(std::uint16_t upstreamPort) const
{
    std::filesystem::create_directories(dir_ / "configs");
    std::ofstream out(dir_ / "configs" / "znc.conf");
    // No modules: buffering and playback are ZNC's own. A plain password keeps the test readable.
    out << "Version = 1.8.2\n"
        << "ConnectDelay = 0\n"
        << "ServerThrottle = 0\n"
        << "<Listener clients>\n"
        << "    Host = 127.0.0.1\n"
        << "    Port = " << port_ << "\n"
        << "    IPv4 = true\n"
        << "    IPv6 = false\n"
        << "    SSL = true\n"
        << "    AllowIRC = true\n"
        << "    AllowWeb = false\n"
        << "</Listener>\n"
        << "<User " << options_.user << ">\n"
        << "    <Pass password>\n"
        << "        Method = plain\n"
        << "        Hash = " << options_.password << "\n"
        << "    </Pass>\n"
        << "    Nick = " << options_.nick << "\n"
        << "    AltNick = " << options_.nick << "_\n"
        << "    Ident = " << options_.nick << "\n"
        << "    RealName = Tellix bouncer\n"
        << "    AutoClearChanBuffer = false\n"
        << "    AutoClearQueryBuffer = false\n"
        << "    ChanBufferSize = 100\n"
        << "    QueryBufferSize = 100\n"
        << "    <Network " << options_.network << ">\n"
        << "        Server = 127.0.0.1 " << upstreamPort << "\n"
        << "        <Chan " << options_.channel << ">\n"
        << "        </Chan>\n"
        << "    </Network>\n"
        << "</User>\n";
}

std::string Bouncer::Log() const
{
    std::ifstream in(dir_ / "znc.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace tellix::test
