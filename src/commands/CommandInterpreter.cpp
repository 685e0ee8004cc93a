// The frame every typed command shares, and the server and utility commands.
#include "app/Application.h"
#include "commands/CommandRun.h"
#include "dialog/ConnectDialog.h"
#include "net/IRCConnection.h"
#include "net/ServerTrust.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/CoreError.h"
#include "util/LogSearch.h"
#include "util/PasswordMask.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <algorithm>
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

const std::vector<CommandRun::Entry>& CommandRun::Table()
{
    // In alphabetical order: /HELP lists them so.
    static const std::vector<Entry> table = {
        {"AWAY", "[text]", "marks you away with a text; without one, back", "/away at lunch", &CommandRun::Away},
        {"BAN", "[mask ...]", "bans in the window's channel (a nick as nick!*@*); alone, lists the bans",
         "/ban troll", &CommandRun::Ban},
        {"BOUNCER", "[list|add|set|remove ...]",
         "keeps the networks of the bouncer you are logged in to: add NAME HOST [PORT] [-tls], set NETWORK "
         "ATTRIBUTE VALUE, remove NETWORK",
         "/bouncer add OFTC irc.oftc.net 6697 -tls", &CommandRun::BouncerCommand},
        {"CHANNEL", "[channel]", "shows or sets the window's channel", "/channel #room", &CommandRun::Channel},
        {"CLEAR", "", "empties the window's log", "/clear", &CommandRun::Clear},
        {"CONNECT", "network | host [port] [-tls]", "connects a saved network, or a server, beside the others",
         "/connect Libera.Chat", &CommandRun::Connect},
        {"CTCP", "nick request [text]", "sends a CTCP request", "/ctcp bob VERSION", &CommandRun::Ctcp},
        {"DEOP", "nick [nick ...]", "takes operator status in the window's channel", "/deop bob",
         &CommandRun::Deop},
        {"DEVOICE", "nick [nick ...]", "takes voice in the window's channel", "/devoice bob",
         &CommandRun::Devoice},
        {"DISCONNECT", "[network|host]", "closes the window's connection, or the one named", "/disconnect",
         &CommandRun::Disconnect},
        {"ECHO", "[window [text]]", "writes a text into a window", "/echo 1 hello", &CommandRun::Echo},
        {"EXIT", "", "ends the client", "/exit", &CommandRun::Exit},
        {"HELP", "[command]", "lists the commands, or tells how one is typed", "/help topic", &CommandRun::Help},
        {"IGNORE", "[mask]", "hides a sender's messages, notices and CTCP; alone, lists the masks",
         "/ignore spammer", &CommandRun::Ignore},
        {"INVITE", "nick [channel]", "invites someone to a channel (the window's by default)", "/invite bob",
         &CommandRun::Invite},
        {"JOIN", "[channel[,channel...] [key[,key...]]]", "joins channels, with their keys where they need one",
         "/join #room,#club secret", &CommandRun::Join},
        {"KICK", "channel nick [reason]", "kicks someone from a channel", "/kick #room bob behave",
         &CommandRun::Kick},
        {"LIST", "[filter]", "lists the server's channels", "/list #tellix*", &CommandRun::List},
        {"ME", "text", "says an action", "/me waves", &CommandRun::Me},
        {"MODE", "target [modes]", "shows or sets modes of a channel or of you", "/mode #room +m",
         &CommandRun::Mode},
        {"MSG", "nick text", "sends a private message", "/msg bob hello", &CommandRun::MsgCommand},
        {"NAMES", "[channel]", "shows who is in a channel (the window's by default)", "/names",
         &CommandRun::Names},
        {"NETWORK", "[list|add|set|remove|rename|move ...]",
         "keeps the networks you connect to: add NAME [HOST [PORT]] [-tls], set NAME FIELD VALUE, remove NAME",
         "/network add Libera.Chat", &CommandRun::NetworkCommand},
        {"NICK", "nick", "changes your nick", "/nick ann", &CommandRun::Nick},
        {"NOTICE", "target text", "sends a notice", "/notice bob hello", &CommandRun::NoticeCommand},
        {"OP", "nick [nick ...]", "gives operator status in the window's channel", "/op bob anna",
         &CommandRun::Op},
        {"PART", "[channel [message]]", "leaves a channel", "/part #room bye", &CommandRun::Part},
        {"QUERY", "nick", "opens a private conversation", "/query bob", &CommandRun::Query},
        {"QUIT", "[message]", "leaves the server", "/quit bye", &CommandRun::Quit},
        {"QUOTE", "line", "sends a raw line to the server", "/quote VERSION", &CommandRun::Quote},
        {"SAY", "text", "says a text in the window", "/say hello", &CommandRun::Say},
        {"SEARCH", "words|\"a phrase\" ...", "searches the logs for lines that hold them all",
         "/search harbour lights", &CommandRun::Search},
        {"SERVER", "[-tls] [host [port]]", "connects to a server", "/server irc.libera.chat 6667",
         &CommandRun::Server},
        {"TOPIC", "[text]", "sets the window's channel topic; alone, shows it", "/topic Welcome",
         &CommandRun::Topic},
        {"UNIGNORE", "mask", "hears a sender again", "/unignore spammer", &CommandRun::Unignore},
        {"VOICE", "nick [nick ...]", "gives voice in the window's channel", "/voice bob", &CommandRun::Voice},
        {"WHO", "[mask [options]]", "asks who is in a channel (the window's by default) or matches a mask",
         "/who #tellix", &CommandRun::Who},
        {"WHOIS", "nick", "asks the server who someone is", "/whois bob", &CommandRun::Whois},
        {"WINDOW", "channel|close|command|new|query|refresh ...", "manages windows", "/window new",
         &CommandRun::WindowCommand},
    };
    return table;
}

const CommandRun::Entry* CommandRun::Find(std::string_view upperName)
{
    const std::vector<Entry>& table = Table();
    const auto found =
        std::lower_bound(table.begin(), table.end(), upperName,
                         [](const Entry& entry, std::string_view name) { return entry.name < name; });
    return found != table.end() && found->name == upperName ? &*found : nullptr;
}

bool CommandRun::Execute()
{
    if (n_ < 0) {
        EchoInto(window_, Concat("Empty command given. [", command_, "]"));
        return false;
    }
    const Entry* const entry = Find(UpperCase(Word(0)));
    // EXIT takes everything, this run's application included: nothing may be touched after a
    // handled command that may have run it.
    const bool handled = entry != nullptr && (this->*(entry->run))();
    if (!handled) {
        // "/ns identify ..." and "/identify ..." are habits of other clients: the line they
        // name holds a password, shown masked and kept in no log.
        const std::optional<std::string> masked = MaskRaw(command_);
        const std::string unknown =
            Concat("Unknown command: \"", Word(0), "\" [", masked ? *masked : command_, "]");
        if (masked) {
            EchoShownOnly(window_, unknown);
        } else {
            EchoInto(window_, unknown);
        }
    }
    return handled;
}

bool CommandRun::Search()
{
    // The words as typed, quotes and all: the search reads them itself.
    std::string_view words = std::string_view(command_).substr(std::min(command_.size(), Word(0).size()));
    while (!words.empty() && words.front() == ' ') {
        words.remove_prefix(1);
    }
    if (SearchMatchQuery(words).empty()) {
        EchoInto(window_, "SEARCH: nothing to search for; type words or \"a phrase\"");
        return true;
    }
    if (!app_.GetToolkit().SearchLogs(std::string(words))) {
        EchoInto(window_, "SEARCH: the logs cannot be searched here");
    }
    return true;
}

bool CommandRun::Exit()
{
    app_.ExitClient();
    return true;
}

bool CommandRun::Help()
{
    if (n_ > 1) {
        return false;
    }
    if (n_ == 1) {
        const Entry* const entry = Find(UpperCase(Word(1)));
        if (entry == nullptr) {
            EchoInto(window_, Concat("HELP: no command \"", Word(1), "\""));
            return true;
        }
        EchoInto(window_,
                 Concat("*** /", entry->name, entry->form.empty() ? "" : " ", entry->form, ": ", entry->summary));
        EchoInto(window_, Concat("*** for example: ", entry->example));
        return true;
    }
    for (const Entry& entry : Table()) {
        EchoInto(window_,
                 Concat("*** /", entry.name, entry.form.empty() ? "" : " ", entry.form, ": ", entry.summary));
    }
    return true;
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

void CommandRun::EchoShownOnly(std::int32_t windowIndex, std::string_view text)
{
    app_.EchoShownOnly(windowIndex, text);
}

IRCConnection& CommandRun::Here() const
{
    return *app_.ConnectionOf(window_);
}

std::int32_t CommandRun::Status() const
{
    return app_.StatusIndex(Here());
}

bool CommandRun::CallingIsStatus() const
{
    const std::shared_ptr<Child> calling = Calling();
    return window_ == kStatusWindow || (calling && calling->IsHead());
}

bool CommandRun::Connected() const
{
    return Here().Connected();
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
    return Status();
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
    const auto connection = Here().shared_from_this();
    ConnectDialog* const dialog = app_.Childs() != nullptr ? app_.Childs()->ConnectDialog() : nullptr;
    if (n_ == 0 && !connection->SavedNetwork().empty()) {
        app_.ConnectNetworkAgain(connection, connection->SavedNetwork());
        return true;
    }
    if (n_ == 0 && connection != app_.Connections().Item(1) && !connection->AttemptHost().empty()) {
        // Another connection goes back where it was.
        app_.ConnectTo(connection,
                       {connection->AttemptHost(), connection->AttemptPort(), connection->Options().tls});
        return true;
    }
    if (n_ == 0) {
        if (dialog == nullptr || !dialog->CheckValidness()) {
            EchoInto(Status(), "please enter valid data into connect dialog");
            return true;
        }
        dialog->ConnectFirst(*connection);
        return true;
    }
    const std::string portText = n_ == first + 1 ? Word(first + 1) : std::to_string(tls ? TlsPort : PlainPort);
    const std::optional<std::int64_t> port = ParseWindowNumber(portText);
    if (!port || *port < 1 || *port > 65535 || portText.front() == '+' || portText.front() == '-') {
        EchoInto(Status(),
                 Concat("SERVER: the port must be a whole number from 1 to 65535, not \"", portText, "\""));
        return true;
    }
    // A first connection that never had registration data would connect and never register.
    if (connection->InitialNick().empty() && dialog != nullptr) {
        dialog->Register(*connection);
    }
    app_.ConnectTo(connection, {Word(first), static_cast<std::int32_t>(*port), tls});
    EchoInto(Status(),
             Concat("Connecting to Server ", Word(first), ", Port ", portText, tls ? " with TLS" : "", "..."));
    return true;
}

// -trust fingerprint host port
bool CommandRun::TrustCertificate()
{
    if (n_ != 4) {
        EchoInto(Status(), "SERVER: -trust takes a SHA-256 fingerprint, a host and a port");
        return true;
    }
    const std::string& portText = Word(4);
    const std::optional<std::int64_t> port = ParseWindowNumber(portText);
    if (!port || *port < 1 || *port > 65535 || portText.front() == '+' || portText.front() == '-') {
        EchoInto(Status(),
                 Concat("SERVER: the port must be a whole number from 1 to 65535, not \"", portText, "\""));
        return true;
    }
    const std::string fingerprint = NormaliseFingerprint(Word(2));
    if (fingerprint.empty() || !app_.TrustFingerprint(Word(3), static_cast<std::int32_t>(*port), fingerprint)) {
        EchoInto(Status(), Concat("SERVER: \"", Word(2), "\" is not a SHA-256 fingerprint"));
        return true;
    }
    EchoInto(Status(),
             Concat("*** Trusting the certificate ", fingerprint, " for Server ", Word(3), ", Port ", *port));
    return true;
}

bool CommandRun::Disconnect()
{
    if (n_ > 1) {
        return false;
    }
    std::shared_ptr<IRCConnection> connection = Here().shared_from_this();
    if (n_ == 1) {
        connection = app_.FindConnection(Word(1));
        if (!connection) {
            EchoInto(window_, Concat("DISCONNECT: no connection to \"", Word(1), "\""));
            return true;
        }
    }
    if (connection->Connected() || connection->Connecting()) {
        connection->Disconnect();
    } else {
        EchoInto(app_.StatusIndex(*connection), "DISCONNECT: not connected");
    }
    return true;
}

// CONNECT network | host [port] [-tls]: a connection of its own, beside the others.
bool CommandRun::Connect()
{
    if (n_ < 1 || n_ > 3) {
        return false;
    }
    bool tls = false;
    std::vector<std::string> words;
    for (std::int32_t index = 1; index <= n_; ++index) {
        if (Word(index) == "-tls") {
            tls = true;
        } else {
            words.push_back(Word(index));
        }
    }
    if (words.empty() || words.size() > 2) {
        return false;
    }
    if (words.size() == 1 && !tls && app_.ConnectNetwork(words[0])) {
        return true;
    }
    std::int32_t port = tls ? TlsPort : PlainPort;
    if (words.size() == 2) {
        const std::optional<std::int64_t> number = ParseWindowNumber(words[1]);
        if (!number || *number < 1 || *number > 65535 || words[1].front() == '+' || words[1].front() == '-') {
            EchoInto(window_,
                     Concat("CONNECT: the port must be a whole number from 1 to 65535, not \"", words[1], "\""));
            return true;
        }
        port = static_cast<std::int32_t>(*number);
    }
    app_.ConnectServer({words[0], port, tls});
    return true;
}

bool CommandRun::Quit()
{
    if (!Connected()) {
        EchoInto(Status(), "QUIT: not connected");
        return true;
    }
    const std::string message = Rest(1);
    const auto connection = Here().shared_from_this();
    EchoInto(Status(), Concat("QUIT -> Server(", connection->Index(), "): ", message));
    connection->Quit(message);
    return true;
}

bool CommandRun::Nick()
{
    if (n_ != 1) {
        return false;
    }
    Here().shared_from_this()->ChangeNick(Word(1));
    return true;
}

bool CommandRun::Quote()
{
    if (n_ < 1) {
        return false;
    }
    const std::string raw = Rest(1);
    if (Connected()) {
        if (const auto masked = MaskRaw(raw)) {
            EchoShownOnly(Status(), Concat("-> Server: [", *masked, "]"));
        } else {
            EchoInto(Status(), Concat("-> Server: [", raw, "]"));
        }
        Here().shared_from_this()->SendMessage(raw);
    } else {
        EchoInto(Status(), "QUOTE: not connected");
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
