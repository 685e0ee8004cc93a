#pragma once

#include "util/Utility.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

class Application;
class Child;
class IRCConnection;

// One run of the command interpreter over one command line: the line cut into words, the
// calling window and the User flag. Each command returns whether it handled its form; a
// form it does not accept is answered as an unknown command.
class CommandRun {
public:
    CommandRun(Application& app, std::string_view command, bool user, std::int32_t windowIndex);
    bool Execute();

private:
    // The frame.
    const std::string& Word(std::int32_t index) const { return words_.At(index); }
    // Words k to n rebuilt into one text, with double quotes or without.
    std::string Rest(std::int32_t k, bool doubleQuotes = true) const;
    void EchoInto(std::int32_t windowIndex, std::string_view text);
    IRCConnection& First() const;
    bool Connected() const;
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
    bool Quote();
    bool Echo();

    // Message and channel commands.
    bool Msg(bool notice);
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

// Command words compare case-insensitively: ASCII letters upper-cased, other bytes kept.
std::string UpperCase(std::string_view word);

// A window number as typed: a plain decimal integer, a sign allowed. A number too large for
// any window reads as the largest (or smallest) value, which no window has.
std::optional<std::int64_t> ParseWindowNumber(std::string_view word);

} // namespace tellix
