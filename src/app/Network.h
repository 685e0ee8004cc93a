#pragma once

#include "net/LinkWatch.h"
#include "net/SavedLogin.h"

#include <string>
#include <vector>

namespace tellix {

// How a network logs us in.
enum class NetworkLogin { None, Plain, External, Pass, NickServ };

// A channel joined on every connect, with its key where it needs one.
using AutojoinChannel = ChannelAndKey;

// A saved network: where it is and who we are there. Its password lives in the secret store
// (or, where none answers, the settings file), and goes only to this network's servers.
struct Network {
    std::string name;
    // Tried in order, then round again.
    std::vector<ServerPlace> servers;
    std::string nick;
    // Tried before the usual ladder of nicks when the nick is taken.
    std::vector<std::string> altNicks;
    std::string user;
    std::string realName;
    NetworkLogin login = NetworkLogin::None;
    std::string account;
    std::string clientCertificate; // a PEM file with certificate and key, for External
    std::string password;          // SASL PLAIN, server or NickServ password, as `login` says
    std::vector<AutojoinChannel> autojoin;
    // Typed lines run after the welcome, such as "/mode $nick +i".
    std::vector<std::string> commands;
    bool autoconnect = false;
    bool reconnect = true;
    bool operator==(const Network&) const = default;
};

} // namespace tellix
