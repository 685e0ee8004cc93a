// IRCConnection's registration beyond NICK and USER: the server password, capabilities, the
// SASL login and the ladder of nicks tried when ours is taken.
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/SaslLogin.h"
#include "net/ServerLine.h"
#include "net/StsPolicy.h"
#include "platform/Timers.h"
#include "util/Relay.h"
#include "util/Utf8.h"

namespace tellix {

namespace {

// A server that knows CAP answers at once; one that does not may stay silent. Services that
// are gone leave a login unanswered as long.
constexpr std::int64_t kCapAnswerMs = 5000;
constexpr std::int32_t kMostNickTries = 10;
// The nick length every server takes. A server tells its own only once we are registered.
constexpr std::size_t kShortestNickLimit = 9;

// Try `tries` (counted from 1) of the nick: as given, with "_", then with a digit; with a
// `fit`, the nick is cut so that each try holds at most that many bytes.
std::string NickTry(std::string_view nick, std::int32_t tries, std::size_t fit = 0)
{
    const std::string suffix = tries <= 1 ? "" : tries == 2 ? "_" : std::to_string(tries - 2);
    if (fit > suffix.size()) {
        nick = nick.substr(0, Utf8Cut(nick, fit - suffix.size()));
    }
    return std::string(nick) + suffix;
}

} // namespace

void IRCConnection::RaiseError(const std::string& description)
{
    Relay(*this).Up(&IRCConnections::RaiseError, Events.Error, description);
}

void IRCConnection::SendToServer(std::string_view line)
{
    if (socket_ != nullptr) {
        sendQueue_.Push(std::string(line), SendPriority::Urgent);
    }
}

void IRCConnection::BeginRegistration()
{
    EndRegistrationTalk();
    nickTries_ = 1;
    altNickNext_ = 0;
    nickFit_ = 0;
    boundByLogin_ = false;
    caps_.Reset();
    if (!options_.serverPassword.empty()) {
        // A blank or a leading colon would cut the password short without the colon.
        const std::string& password = options_.serverPassword;
        const bool whole = password.find(' ') != std::string::npos || password.starts_with(':');
        SendToServer((whole ? "PASS :" : "PASS ") + password);
    }
    // Without our own NICK and USER the user registers by hand and negotiates nothing.
    if (!TestAutomation(AutoNick)) {
        return;
    }
    const bool wantSasl =
        !options_.clientCertificate.empty() || (!options_.account.empty() && !options_.accountPassword.empty());
    caps_.Begin(wantSasl);
    SendMessage("CAP LS 302");
    if (Timers* timers = ProtocolTimers()) {
        capTimer_ = timers->After(kCapAnswerMs, [this] {
            // The task may not drop its own timer before it returns: keep it until then.
            const auto self = shared_from_this();
            const auto timer = std::move(capTimer_);
            if (caps_.Current() == CapNegotiation::Step::Listing ||
                caps_.Current() == CapNegotiation::Step::Requesting) {
                caps_.Stop();
                EndCapTalk();
            }
        });
    }
}

void IRCConnection::EndRegistrationTalk()
{
    capTimer_.reset();
    caps_.Stop();
    login_ = Login::None;
    registered_ = false;
}

void IRCConnection::EndCapTalk()
{
    // A bouncer hears which of its networks this connection is for before registration ends.
    if (!options_.bouncerNetwork.empty() && caps_.Enabled("soju.im/bouncer-networks")) {
        SendMessage("BOUNCER BIND " + options_.bouncerNetwork);
    }
    SendMessage("CAP END");
}

void IRCConnection::ReceiveCap(const ServerLine& line)
{
    const CapNegotiation::Step before = caps_.Current();
    if (HearStrictTransport(line, before)) {
        return; // not a word more in plain text
    }
    std::vector<std::string> send;
    caps_.Receive(line, send);
    for (const std::string& out : send) {
        SendMessage(out);
    }
    if (login_ != Login::None && !caps_.Enabled("sasl")) {
        // Withdrawn mid-login: the server takes no further step, so none is sent, and the
        // password least of all.
        LoginFailed("the server withdrew SASL");
        return;
    }
    if (before != CapNegotiation::Step::Granted && caps_.Current() == CapNegotiation::Step::Granted) {
        AfterCapsGranted();
    }
}

bool IRCConnection::HearStrictTransport(const ServerLine& line, CapNegotiation::Step before)
{
    const std::string_view sub = line.Word(4);
    if (sub != "NEW" && (sub != "LS" || before != CapNegotiation::Step::Listing)) {
        return false;
    }
    const bool more = line.Word(5) == "*";
    const std::optional<std::string_view> value = StsPolicy::FindIn(line.LastParam(more ? 6 : 5));
    if (!value) {
        return false;
    }
    if (options_.tls) {
        stsHeard_ = StsHeard{attemptHost_, attemptPort_, std::string(*value)};
        if (parent_ != nullptr && parent_->StrictTransport() != nullptr) {
            parent_->StrictTransport()->Heard(attemptHost_, attemptPort_, *value);
        }
        return false;
    }
    const std::optional<std::int32_t> port = StsPolicy::UpgradePort(*value);
    if (!port) {
        return false; // a duration said in plain text binds nothing
    }
    const auto self = shared_from_this();
    const std::uint32_t request = requests_;
    const std::string host = attemptHost_;
    if (!Relay(*this).Up(&IRCConnections::RaiseTlsUpgrade, Events.TlsUpgrade, host, *port) ||
        requests_ != request || deleted_) {
        return true;
    }
    // Nobody took it up: TLS there all the same, without the login given for plain text.
    ConnectOptions secure = options_;
    secure.tls = true;
    secure.serverPassword.clear();
    secure.account.clear();
    secure.accountPassword.clear();
    secure.clientCertificate.clear();
    Open(host, *port, true, secure);
    return true;
}

void IRCConnection::AfterCapsGranted()
{
    capTimer_.reset();
    const bool wantSasl =
        !options_.clientCertificate.empty() || (!options_.account.empty() && !options_.accountPassword.empty());
    if (!wantSasl) {
        caps_.Stop();
        EndCapTalk();
        return;
    }
    if (!caps_.Enabled("sasl")) {
        LoginFailed("the server offers no SASL login");
        return;
    }
    const bool plain = !options_.account.empty() && !options_.accountPassword.empty();
    login_ = Login::Asked;
    SendMessage(plain ? "AUTHENTICATE PLAIN" : "AUTHENTICATE EXTERNAL");
    AwaitLoginAnswer();
}

void IRCConnection::AwaitLoginAnswer()
{
    capTimer_.reset();
    Timers* timers = ProtocolTimers();
    if (timers == nullptr || login_ == Login::None) {
        return;
    }
    capTimer_ = timers->After(kCapAnswerMs, [this] {
        const auto self = shared_from_this();
        const auto timer = std::move(capTimer_);
        if (login_ == Login::None) {
            return;
        }
        const std::uint32_t request = requests_;
        // Called off, so that a verdict arriving late is no login of its own.
        SendMessage("AUTHENTICATE *");
        if (requests_ == request && !deleted_) {
            LoginFailed("the server did not answer the login");
        }
    });
}

void IRCConnection::ReceiveAuthenticate(std::string_view argument)
{
    if (login_ != Login::Asked || argument != "+") {
        return; // nothing we use sends a challenge of its own
    }
    login_ = Login::Sent;
    const bool plain = !options_.account.empty() && !options_.accountPassword.empty();
    if (!plain) {
        SendMessage("AUTHENTICATE +");
    } else {
        for (const std::string& out :
             AuthenticateLines(SaslPlainPayload(options_.account, options_.account, options_.accountPassword))) {
            SendToServer(out);
        }
    }
    AwaitLoginAnswer();
}

void IRCConnection::LoginFailed(const std::string& reason)
{
    capTimer_.reset();
    login_ = Login::None;
    caps_.Stop();
    const auto self = shared_from_this();
    const std::uint32_t request = requests_;
    const std::string who = options_.account.empty() ? std::string("the client certificate") : options_.account;
    if (options_.continueUnidentified) {
        RaiseError("SASL login as " + who + " failed (" + reason + "); going on unidentified");
        if (requests_ == request && !deleted_) {
            EndCapTalk();
        }
        return;
    }
    RaiseError("SASL login as " + who + " failed (" + reason + "); disconnecting");
    if (requests_ == request && !deleted_) {
        Disconnect();
    }
}

bool IRCConnection::ProcessLoginReply(const ServerLine& line)
{
    const std::string_view command = line.Command();
    if (command == "903") {
        capTimer_.reset();
        login_ = Login::None;
        caps_.Stop();
        EndCapTalk();
        return false; // "SASL authentication successful", shown as server text
    }
    if (command == "902" || command == "904" || command == "905" || command == "906") {
        // The server's reason, never our payload: it holds nothing we sent.
        LoginFailed(std::string(command) + ": " + std::string(line.LastParam(4)));
        return true;
    }
    return false; // 900 (logged in as), 908 (the mechanisms offered): server text
}

bool IRCConnection::NickRefused(std::string_view command, std::string_view refused)
{
    if (registered_ || !TestAutomation(AutoNick)) {
        return false; // the server's reason is all there is to show
    }
    if (command == "432" && refused.size() > kShortestNickLimit) {
        // Found erroneous, most likely for its length: the ladder goes on, each try cut to
        // the length every server takes.
        nickFit_ = kShortestNickLimit;
    }
    // The user's own choices first; the ladder goes on from the initial nick after them.
    while (altNickNext_ < altNicks_.size()) {
        const std::string& alternative = altNicks_[altNickNext_++];
        if (!alternative.empty() && alternative != refused) {
            SendMessage("NICK " + alternative);
            return false;
        }
    }
    if (nickTries_ >= kMostNickTries) {
        const auto self = shared_from_this();
        const std::uint32_t request = requests_;
        RaiseError("No nick from " + initialNick_ + " to " + NickTry(initialNick_, kMostNickTries, nickFit_) +
                   " was accepted; registration stopped");
        if (requests_ == request && !deleted_) {
            Disconnect();
        }
        return true;
    }
    ++nickTries_;
    SendMessage("NICK " + NickTry(initialNick_, nickTries_, nickFit_));
    return false;
}

} // namespace tellix
