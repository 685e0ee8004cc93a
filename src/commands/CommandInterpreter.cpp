// The frame every typed command shares, and the server and utility commands.
#include "app/Application.h"
#include "commands/CommandRun.h"
#include "dialog/ConnectDialog.h"
#include "net/IRCConnection.h"
#include "net/ServerTrust.h"
#include "util/Concat.h"
#include "util/CoreError.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <charconv>
#include <limits>

namespace tellix {

namespace {

constexpr std::int32_t kStatusWindow = Application::kStatusWindow;
constexpr int kSubArrayError = static_cast<int>(0x8004040E);

} // namespace

WordList SubArray(const WordList& list, std::int32_t start, std::int32_t count)
{
    if (count < 0) {
        throw CoreError("invalid procedure call or argument", kSubArrayError);
    }
    if (IsEmptyList(list) || count == 0) {
        return {};
    }
    const std::int32_t last = list.LowerBound + static_cast<std::int32_t>(list.Words.size()) - 1;
    if (start + count - 1 > last || start < list.LowerBound) {
        throw CoreError("invalid procedure call or argument", kSubArrayError);
    }
    WordList slice;
    slice.LowerBound = start;
    const auto first = list.Words.begin() + (start - list.LowerBound);
    slice.Words.assign(first, first + count);
    return slice;
}

std::string UpperCase(std::string_view word)
{
    std::string upper(word);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

std::optional<std::int64_t> ParseWindowNumber(std::string_view word)
{
    bool negative = false;
    if (!word.empty() && (word.front() == '+' || word.front() == '-')) {
        negative = word.front() == '-';
        word.remove_prefix(1);
    }
    if (word.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (end != word.data() + word.size()) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range || value > std::numeric_limits<std::int64_t>::max()) {
        return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    }
    const auto number = static_cast<std::int64_t>(value);
    return negative ? -number : number;
}

bool Application::ProcessCommand(std::string_view command, bool user, std::int32_t windowIndex)
{
    return CommandRun(*this, command, user, windowIndex).Execute();
}

CommandRun::CommandRun(Application& app, std::string_view command, bool user, std::int32_t windowIndex)
    : app_(app), command_(command), words_(SetLowerBound(SplitQuoted(command, " ", "", ""), 0)),
      n_(LastIndex(words_, -1)), user_(user), window_(windowIndex)
{
}

bool CommandRun::Execute()
{
    if (n_ < 0) {
        EchoInto(window_, Concat("Empty command given. [", command_, "]"));
        return false;
    }
    const std::string name = UpperCase(Word(0));
    if (name == "EXIT") {
        // Everything goes, this run's application included: nothing may be touched after.
        app_.ExitClient();
        return true;
    }
    bool handled = false;
    if (name == "CHANNEL") {
        handled = Channel();
    } else if (name == "DISCONNECT") {
        handled = Disconnect();
    } else if (name == "ECHO") {
        handled = Echo();
    } else if (name == "JOIN") {
        handled = Join();
    } else if (name == "KICK") {
        handled = Kick();
    } else if (name == "ME") {
        handled = Me();
    } else if (name == "MSG") {
        handled = Msg(false);
    } else if (name == "NICK") {
        handled = Nick();
    } else if (name == "NOTICE") {
        handled = Msg(true);
    } else if (name == "PART") {
        handled = Part();
    } else if (name == "QUERY") {
        handled = Query();
    } else if (name == "QUIT") {
        handled = Quit();
    } else if (name == "QUOTE") {
        handled = Quote();
    } else if (name == "SAY") {
        handled = Say();
    } else if (name == "SERVER") {
        handled = Server();
    } else if (name == "WINDOW") {
        handled = WindowCommand();
    }
    if (!handled) {
        EchoInto(window_, Concat("Unknown command: \"", Word(0), "\" [", command_, "]"));
    }
    return handled;
}

std::string CommandRun::Rest(std::int32_t k, bool doubleQuotes) const
{
    if (n_ < k) {
        return {};
    }
    WordList slice = SubArray(words_, k, n_ - k + 1);
    if (k > 1) {
        slice = SetLowerBound(std::move(slice), 1);
    }
    const std::string_view quote = doubleQuotes ? "\"" : "";
    return JoinQuoted(slice, " ", quote, quote);
}

void CommandRun::EchoInto(std::int32_t windowIndex, std::string_view text)
{
    app_.Echo(windowIndex, text);
}

IRCConnection& CommandRun::First() const
{
    return *app_.Connections().Item(1);
}

bool CommandRun::Connected() const
{
    return First().Connected();
}

std::shared_ptr<Child> CommandRun::Window(std::int32_t windowIndex) const
{
    const tellix::Childs* childs = app_.Childs();
    if (childs == nullptr || windowIndex < 1 || windowIndex > childs->Count()) {
        return nullptr;
    }
    return childs->Item(windowIndex);
}

bool CommandRun::InRange() const
{
    const tellix::Childs* childs = app_.Childs();
    return childs != nullptr && window_ >= 2 && window_ <= childs->Count();
}

std::int32_t CommandRun::MessageWindow() const
{
    const tellix::Childs* childs = app_.Childs();
    if (childs != nullptr && childs->Active()) {
        return childs->Active()->Index();
    }
    if (childs != nullptr && window_ >= 1 && window_ <= childs->Count()) {
        return window_;
    }
    return kStatusWindow;
}

bool CommandRun::Server()
{
    if (n_ >= 1 && Word(1) == "-trust") {
        return TrustCertificate();
    }
    const bool tls = n_ >= 1 && Word(1) == "-tls";
    const std::int32_t first = tls ? 2 : 1;
    if (n_ - first > 1 || (tls && n_ < 2)) {
        return false;
    }
    const auto connection = First().shared_from_this();
    ConnectDialog* const dialog = app_.Childs() != nullptr ? app_.Childs()->ConnectDialog() : nullptr;
    if (n_ == 0) {
        if (dialog == nullptr || !dialog->CheckValidness()) {
            EchoInto(kStatusWindow, "please enter valid data into connect dialog");
            return true;
        }
        dialog->ConnectFirst(*connection);
        return true;
    }
    const std::string portText = n_ == first + 1 ? Word(first + 1) : std::to_string(tls ? TlsPort : PlainPort);
    const std::optional<std::int64_t> port = ParseWindowNumber(portText);
    if (!port || *port < 1 || *port > 65535 || portText.front() == '+' || portText.front() == '-') {
        EchoInto(kStatusWindow,
                 Concat("SERVER: the port must be a whole number from 1 to 65535, not \"", portText, "\""));
        return true;
    }
    // A first connection that never had registration data would connect and never register.
    if (connection->InitialNick().empty() && dialog != nullptr) {
        dialog->Register(*connection);
    }
    ConnectOptions options = connection->Options();
    options.tls = tls;
    connection->Options(options);
    connection->Connect(Word(first), static_cast<std::int32_t>(*port));
    EchoInto(kStatusWindow,
             Concat("Connecting to Server ", Word(first), ", Port ", portText, tls ? " with TLS" : "", "..."));
    return true;
}

// -trust fingerprint host port
bool CommandRun::TrustCertificate()
{
    if (n_ != 4) {
        EchoInto(kStatusWindow, "SERVER: -trust takes a SHA-256 fingerprint, a host and a port");
        return true;
    }
    const std::string& portText = Word(4);
    const std::optional<std::int64_t> port = ParseWindowNumber(portText);
    if (!port || *port < 1 || *port > 65535 || portText.front() == '+' || portText.front() == '-') {
        EchoInto(kStatusWindow,
                 Concat("SERVER: the port must be a whole number from 1 to 65535, not \"", portText, "\""));
        return true;
    }
    const std::string fingerprint = NormaliseFingerprint(Word(2));
    if (fingerprint.empty() || !app_.TrustFingerprint(Word(3), static_cast<std::int32_t>(*port), fingerprint)) {
        EchoInto(kStatusWindow, Concat("SERVER: \"", Word(2), "\" is not a SHA-256 fingerprint"));
        return true;
    }
    EchoInto(kStatusWindow,
             Concat("*** Trusting the certificate ", fingerprint, " for Server ", Word(3), ", Port ", *port));
    return true;
}

bool CommandRun::Disconnect()
{
    if (n_ != 0) {
        return false;
    }
    if (Connected()) {
        First().shared_from_this()->Disconnect();
    } else {
        EchoInto(kStatusWindow, "DISCONNECT: not connected");
    }
    return true;
}

bool CommandRun::Quit()
{
    if (!Connected()) {
        EchoInto(kStatusWindow, "QUIT: not connected");
        return true;
    }
    const std::string message = Rest(1);
    const auto connection = First().shared_from_this();
    EchoInto(kStatusWindow, Concat("QUIT -> Server(", connection->Index(), "): ", message));
    connection->Quit(message);
    return true;
}

bool CommandRun::Nick()
{
    if (n_ != 1) {
        return false;
    }
    First().shared_from_this()->ChangeNick(Word(1));
    return true;
}

bool CommandRun::Quote()
{
    if (n_ < 1) {
        return false;
    }
    const std::string raw = Rest(1);
    if (Connected()) {
        EchoInto(kStatusWindow, Concat("-> Server: [", raw, "]"));
        First().shared_from_this()->SendMessage(raw);
    } else {
        EchoInto(kStatusWindow, "QUOTE: not connected");
    }
    return true;
}

bool CommandRun::Echo()
{
    const tellix::Childs* childs = app_.Childs();
    if (childs == nullptr) {
        return true;
    }
    std::int32_t target = childs->Active() ? childs->Active()->Index() : window_;
    std::string text;
    if (n_ >= 1) {
        text = Rest(2);
        if (const std::optional<std::int64_t> number = ParseWindowNumber(Word(1))) {
            if (*number >= 1 && *number <= childs->Count()) {
                target = static_cast<std::int32_t>(*number);
            } else if (user_ && childs->Active()) {
                target = childs->Active()->Index();
            } else {
                target = kStatusWindow;
            }
        }
    }
    EchoInto(target, text);
    return true;
}

} // namespace tellix
