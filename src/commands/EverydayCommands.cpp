// The commands people type every day beyond the first few: TOPIC, WHOIS, WHO, MODE, OP, DEOP, VOICE,
// DEVOICE, BAN, INVITE, AWAY, NAMES, LIST, CTCP, CLEAR, IGNORE and UNIGNORE. What the server
// answers is shown in the window that asked (see the reply texts).
#include "app/Application.h"
#include "app/Settings.h"
#include "commands/CommandRun.h"
#include "commands/ModeLines.h"
#include "model/IRCChannel.h"
#include "net/IRCConnection.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/Utf8.h"
#include "windows/Child.h"

namespace tellix {

std::shared_ptr<IRCChannel> CommandRun::WindowChannelOr(std::string_view command)
{
    const std::shared_ptr<Child> calling = Calling();
    if (!calling || !calling->Channel()) {
        EchoInto(window_, Concat(command, ": no channel set"));
        return nullptr;
    }
    return calling->Channel();
}

std::shared_ptr<IRCConnection> CommandRun::OnlineOr(std::string_view command)
{
    if (!Connected()) {
        EchoInto(window_, Concat(command, ": not connected"));
        return nullptr;
    }
    app_.RepliesTo(window_);
    return Here().shared_from_this();
}

void CommandRun::Ask(IRCConnection& connection, std::string_view line)
{
    const std::shared_ptr<Child> calling = Calling();
    connection.SendAsking(line, calling ? calling->Key() : std::string());
}

bool CommandRun::Topic()
{
    const auto channel = WindowChannelOr("TOPIC");
    if (!channel) {
        return true;
    }
    if (n_ == 0) {
        if (channel->Topic().empty()) {
            EchoInto(window_, Concat("*** ", channel->Name(), " has no topic"));
        } else {
            EchoInto(window_, Concat("*** topic of ", channel->Name(), ": ", channel->Topic()));
        }
        return true;
    }
    if (const auto connection = OnlineOr("TOPIC")) {
        connection->SendMessage(Concat("TOPIC ", channel->Name(), " :", Rest(1, false)));
    }
    return true;
}

bool CommandRun::Whois()
{
    if (n_ != 1) {
        return false;
    }
    if (const auto connection = OnlineOr("WHOIS")) {
        Ask(*connection, Concat("WHOIS ", Word(1)));
    }
    return true;
}

bool CommandRun::Who()
{
    if (n_ > 2) {
        return false;
    }
    std::string mask;
    if (n_ >= 1) {
        mask = Word(1);
    } else if (const auto shown = WindowChannelOr("WHO")) {
        mask = shown->Name();
    } else {
        return true;
    }
    if (const auto connection = OnlineOr("WHO")) {
        Ask(*connection, n_ == 2 ? Concat("WHO ", mask, " ", Word(2)) : Concat("WHO ", mask));
    }
    return true;
}

bool CommandRun::Mode()
{
    if (n_ < 1) {
        return false;
    }
    if (const auto connection = OnlineOr("MODE")) {
        Ask(*connection, Concat("MODE ", Rest(1, false)));
    }
    return true;
}

bool CommandRun::GiveMode(char sign, char mode)
{
    if (n_ < 1) {
        return false;
    }
    const std::string command = UpperCase(Word(0));
    const auto channel = WindowChannelOr(command);
    const auto connection = channel ? OnlineOr(command) : nullptr;
    if (!connection) {
        return true;
    }
    std::vector<std::string> nicks;
    for (std::int32_t k = 1; k <= n_; ++k) {
        nicks.push_back(Word(k));
    }
    for (const std::string& line :
         PackModeLines(channel->Name(), sign, mode, nicks, connection->ModesPerLine(), connection->LineRoom())) {
        connection->SendMessage(line);
    }
    return true;
}

bool CommandRun::Ban()
{
    const auto channel = WindowChannelOr("BAN");
    const auto connection = channel ? OnlineOr("BAN") : nullptr;
    if (!connection) {
        return true;
    }
    if (n_ == 0) {
        Ask(*connection, Concat("MODE ", channel->Name(), " +b"));
        return true;
    }
    std::vector<std::string> masks;
    for (std::int32_t k = 1; k <= n_; ++k) {
        masks.push_back(BanMaskOf(Word(k)));
    }
    for (const std::string& line :
         PackModeLines(channel->Name(), '+', 'b', masks, connection->ModesPerLine(), connection->LineRoom())) {
        connection->SendMessage(line);
    }
    return true;
}

bool CommandRun::Invite()
{
    if (n_ < 1 || n_ > 2) {
        return false;
    }
    std::string channel;
    if (n_ == 2) {
        channel = Word(2);
    } else if (const auto shown = WindowChannelOr("INVITE")) {
        channel = shown->Name();
    } else {
        return true;
    }
    if (const auto connection = OnlineOr("INVITE")) {
        Ask(*connection, Concat("INVITE ", Word(1), " ", channel));
    }
    return true;
}

bool CommandRun::Away()
{
    const auto connection = OnlineOr("AWAY");
    if (!connection) {
        return true;
    }
    const std::string text = Rest(1, false);
    connection->AwayMessage(text);
    Ask(*connection, text.empty() ? std::string("AWAY") : Concat("AWAY :", text));
    return true;
}

bool CommandRun::Names()
{
    if (n_ > 1) {
        return false;
    }
    std::string channel;
    if (n_ == 1) {
        channel = Word(1);
    } else if (const auto shown = WindowChannelOr("NAMES")) {
        channel = shown->Name();
    } else {
        return true;
    }
    if (const auto connection = OnlineOr("NAMES")) {
        connection->AskNames(channel);
        Ask(*connection, Concat("NAMES ", channel));
    }
    return true;
}

bool CommandRun::List()
{
    if (n_ > 1) {
        return false;
    }
    if (const auto connection = OnlineOr("LIST")) {
        Ask(*connection, n_ == 1 ? Concat("LIST ", Word(1)) : std::string("LIST"));
    }
    return true;
}

bool CommandRun::Ctcp()
{
    if (n_ < 2) {
        return false;
    }
    const auto connection = OnlineOr("CTCP");
    if (!connection) {
        return true;
    }
    std::string request = UpperCase(Word(2));
    if (n_ >= 3) {
        AppendTo(request, " ", Rest(3, false));
    }
    // Cut here, not by the line's limit: the closing mark must still fit, or the rest of the
    // request reads as a plain message.
    const std::size_t around = Concat("PRIVMSG ", Word(1), " :\x01\x01").size();
    request.resize(Utf8Cut(request, connection->LineRoom() > around ? connection->LineRoom() - around : 0));
    EchoInto(window_, Concat("ctcp -> ", Word(1), ": ", request));
    if (request == "PING") {
        // The answer brings the time back, and so tells the round trip.
        AppendTo(request, " ", connection->CtcpPingToken());
    }
    connection->SendMessage(Concat("PRIVMSG ", Word(1), " :\x01", request, "\x01"));
    return true;
}

bool CommandRun::Clear()
{
    if (n_ != 0) {
        return false;
    }
    if (const std::shared_ptr<Child> calling = Calling()) {
        calling->ClearLog();
    }
    return true;
}

bool CommandRun::Ignore()
{
    if (n_ > 1) {
        return false;
    }
    IgnoreList& ignores = app_.Connections().Ignores();
    if (n_ == 0) {
        if (ignores.Empty()) {
            EchoInto(window_, "*** ignoring nobody");
        }
        for (const std::string& mask : ignores.Masks()) {
            EchoInto(window_, Concat("*** ignoring ", mask));
        }
        return true;
    }
    const std::string mask = IgnoreList::Normalise(Word(1));
    if (mask.empty()) {
        EchoInto(window_, Concat("IGNORE: \"", Word(1), "\" is no mask"));
    } else if (!ignores.Add(mask)) {
        EchoInto(window_, Concat("*** already ignoring ", mask));
    } else {
        SaveIgnores();
        EchoInto(window_, Concat("*** ignoring ", mask));
    }
    return true;
}

bool CommandRun::Unignore()
{
    if (n_ != 1) {
        return false;
    }
    const std::string mask = app_.Connections().Ignores().Remove(Word(1));
    if (mask.empty()) {
        EchoInto(window_, Concat("UNIGNORE: not ignoring \"", Word(1), "\""));
        return true;
    }
    SaveIgnores();
    EchoInto(window_, Concat("*** no longer ignoring ", mask));
    return true;
}

void CommandRun::SaveIgnores()
{
    app_.GetToolkit().Settings().SaveSetting(SettingsAppName(), std::string(settings::Section),
                                             std::string(settings::IgnoreList),
                                             app_.Connections().Ignores().Text());
}

} // namespace tellix
