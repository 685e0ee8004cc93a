// BOUNCER: the networks of the bouncer the window's connection logs in to, from the input line.
// The bouncer answers the changes itself; the tree follows its notifications.
#include "app/Application.h"
#include "commands/CommandRun.h"
#include "net/IRCConnection.h"
#include "util/Concat.h"
#include "util/Utility.h"

#include <map>
#include <string>

namespace tellix {

namespace {

constexpr std::string_view kUsage =
    "BOUNCER: list, add NAME HOST [PORT] [-tls], set NETWORK ATTRIBUTE VALUE or remove NETWORK";

std::string Get(const std::map<std::string, std::string>& attributes, const std::string& key)
{
    const auto found = attributes.find(key);
    return found == attributes.end() ? std::string() : found->second;
}

} // namespace

bool CommandRun::BouncerCommand()
{
    IRCConnection& here = Here();
    std::shared_ptr<IRCConnection> home = app_.BouncerHome(here);
    if (!home && here.ListsBouncerNetworks()) {
        home = here.shared_from_this();
    }
    if (!home) {
        EchoInto(window_, "BOUNCER: this window's server is no bouncer that lists its networks");
        return true;
    }
    const auto networks = app_.BouncerNetworks(*home);
    // A network by its id, or by its name in any letter case.
    const auto idOf = [&networks](const std::string& word) -> std::string {
        if (networks.count(word) != 0) {
            return word;
        }
        for (const auto& [id, attributes] : networks) {
            if (SameIgnoringCase(Get(attributes, "name"), word)) {
                return id;
            }
        }
        return {};
    };
    const std::string sub = n_ >= 1 ? UpperCase(Word(1)) : std::string("LIST");
    if (sub == "LIST" && n_ <= 1) {
        if (networks.empty()) {
            EchoInto(window_, "*** the bouncer lists no networks");
        }
        for (const auto& [id, attributes] : networks) {
            const std::string port = Get(attributes, "port");
            const std::string state = Get(attributes, "state");
            EchoInto(window_, Concat("*** ", id, ". ", Get(attributes, "name"), ": ", Get(attributes, "host"),
                                     port.empty() ? "" : ":", port, Get(attributes, "tls") == "1" ? " TLS" : "",
                                     state.empty() ? "" : ", ", state));
        }
    } else if (sub == "ADD" && n_ >= 3) {
        Application::BouncerAttributes attributes{{"name", Word(2)}, {"host", Word(3)}, {"tls", "0"}};
        for (std::int32_t i = 4; i <= n_; ++i) {
            if (Word(i) == "-tls") {
                attributes["tls"] = "1";
            } else if (!Word(i).empty() && Word(i).find_first_not_of("0123456789") == std::string::npos) {
                attributes["port"] = Word(i);
            } else {
                EchoInto(window_, kUsage);
                return true;
            }
        }
        Application::AddBouncerNetwork(*home, attributes);
    } else if (sub == "SET" && n_ >= 4) {
        if (const std::string id = idOf(Word(2)); id.empty()) {
            EchoInto(window_, Concat("BOUNCER: no network \"", Word(2), "\""));
        } else {
            Application::ChangeBouncerNetwork(*home, id, {{Word(3), Rest(4, false)}});
        }
    } else if (sub == "REMOVE" && n_ == 2) {
        if (const std::string id = idOf(Word(2)); id.empty()) {
            EchoInto(window_, Concat("BOUNCER: no network \"", Word(2), "\""));
        } else {
            Application::DeleteBouncerNetwork(*home, id);
        }
    } else {
        EchoInto(window_, kUsage);
    }
    return true;
}

} // namespace tellix
