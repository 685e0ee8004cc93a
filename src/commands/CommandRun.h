#pragma once

#include "util/Utility.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class Application;
class Child;
class IRCChannel;
class IRCConnection;

// One run of the command interpreter over one command line: the line cut into words, the
// calling window and the User flag. Each command returns whether it handled its form; a
// form it does not accept is answered as an unknown command.
class CommandRun {
public:
    CommandRun(Application& app, std::string_view command, bool user, std::int32_t windowIndex);
    bool Execute();

    // One command the interpreter knows: the dispatch and /HELP both read this table.
    struct Entry {
        std::string_view name;    // upper case, as matched
        std::string_view form;    // the arguments, as /HELP shows them
        std::string_view summary; // what it does, in a few words
        std::string_view example; // a typed line
        bool (CommandRun::*run)();
    };
    static const std::vector<Entry>& Table();
    static const Entry* Find(std::string_view upperName);

private:
    // The frame.
    const std::string& Word(std::int32_t index) const { return words_.At(index); }
    // Words k to n rebuilt into one text, with double quotes or without.
    std::string Rest(std::int32_t k, bool doubleQuotes = true) const;
    void EchoInto(std::int32_t windowIndex, std::string_view text);
    // The same, kept in no log: a line that shows a masked password.
    void EchoShownOnly(std::int32_t windowIndex, std::string_view text);
    // The connection of the window the command was typed in: the first one for a window of
    // none.
    IRCConnection& Here() const;
    bool Connected() const;
    // The status window of that connection, where its replies and errors go.
    std::int32_t Status() const;
    bool CallingIsStatus() const;
    // The window with this number, or null.
    std::shared_ptr<Child> Window(std::int32_t windowIndex) const;
    std::shared_ptr<Child> Calling() const { return Window(window_); }
    bool InRange() const;
    // The active window's number when there is one, else the calling window's, else 1.
    std::int32_t MessageWindow() const;

    // Server and utility commands.
    bool Server();
    bool Disconnect();
    bool TrustCertificate();
    bool Quit();
    bool Nick();
    bool Connect();
    bool Quote();
    bool Echo();
    bool Exit();
    bool Help();
    bool Search();

    // Message and channel commands.
    bool Msg(bool notice);
    bool MsgCommand() { return Msg(false); }
    bool NoticeCommand() { return Msg(true); }
    bool Say();
    bool Me();
    // Says `text` (or an action) to a query window's partner, shown as ours unless the server
    // echoes it; false when the partner's connection is offline.
    bool SayToPartner(Child& window, std::string_view text, bool action);
    bool Join();
    bool Part();
    bool Kick();
    bool Channel();
    bool CallingWindowChannel(std::int32_t nameWord, bool dashClears);
    bool Query();

    // The everyday commands sent to the server.
    bool Topic();
    bool Whois();
    bool Who();
    bool Mode();
    bool Op() { return GiveMode('+', 'o'); }
    bool Deop() { return GiveMode('-', 'o'); }
    bool Voice() { return GiveMode('+', 'v'); }
    bool Devoice() { return GiveMode('-', 'v'); }
    bool GiveMode(char sign, char mode);
    bool Ban();
    bool Invite();
    bool Away();
    bool Names();
    bool List();
    bool Ctcp();
    bool Clear();
    bool Ignore();
    bool Unignore();
    // The calling window's channel; null, with "<COMMAND>: no channel set" shown, when it has none.
    std::shared_ptr<IRCChannel> WindowChannelOr(std::string_view command);
    // The first connection when it is online; else null, with "<COMMAND>: not connected" shown.
    std::shared_ptr<IRCConnection> OnlineOr(std::string_view command);
    // Sends a command whose replies belong in the calling window (see IRCConnection::SendAsking).
    void Ask(IRCConnection& connection, std::string_view line);
    void SaveIgnores();

    // The saved networks.
    bool NetworkCommand();
    void NetworkList();
    void NetworkAdd();
    void NetworkSet();

    // A bouncer's networks.
    bool BouncerCommand();

    // The window commands.
    bool WindowCommand();
    bool WindowChannel();
    bool WindowClose();
    bool WindowDefault();
    bool WindowQuery();

    Application& app_;
    std::string command_;
    WordList words_;
    std::int32_t n_;
    bool user_;
    std::int32_t window_;
};

// Elements start to start + count - 1 of `list`, their numbers kept; a negative count, or a
// range outside the list, fails with CoreError number 0x8004040E.
WordList SubArray(const WordList& list, std::int32_t start, std::int32_t count);

// A window number as typed: a plain decimal integer, a sign allowed. A number too large for
// any window reads as the largest (or smallest) value, which no window has.
std::optional<std::int64_t> ParseWindowNumber(std::string_view word);

} // namespace tellix
