#pragma once

#include <QTcpServer>

#include <filesystem>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QTcpSocket;

namespace tellix::test {

// A loopback IRC server that does only what its test's script says, for what real servers
// will not do on demand: never answer, refuse every nick, send broken lines, fall silent.
// It runs in the Qt event loop.
class ScriptedServer {
public:
    class Session {
    public:
        void Send(std::string_view line); // CR LF is added
        void Close();
        const std::vector<std::string>& Received() const { return received_; }

    private:
        friend class ScriptedServer;
        QTcpSocket* socket_ = nullptr;
        std::string partial_;
        std::vector<std::string> received_;
    };
    // Called with each line a client sends, without its CR LF.
    using Script = std::function<void(Session& session, const std::string& line)>;

    explicit ScriptedServer(Script script);
    // The same over TLS, presenting the certificate and key of these PEM files; a client whose
    // handshake fails is no session.
    ScriptedServer(Script script, const std::filesystem::path& certificate, const std::filesystem::path& key);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return listener_->serverPort(); }
    // One per connection made, oldest first.
    const std::vector<std::unique_ptr<Session>>& Sessions() const { return sessions_; }

private:
    void Listen();
    void Accept();

    Script script_;
    std::unique_ptr<QTcpServer> listener_;
    std::vector<std::unique_ptr<Session>> sessions_;
};

} // namespace tellix::test
