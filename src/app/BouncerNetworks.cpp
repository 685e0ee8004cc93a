// The networks of a bouncer that lists them: one connection each, bound to it.
#include "app/Application.h"
#include "net/IRCConnection.h"
#include "net/ServerLine.h"
#include "util/Concat.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <algorithm>

namespace tellix {

namespace {

// A bouncer that lists more is hostile or mistaken: each network costs a connection, and each
// attribute a line may add costs memory.
constexpr std::size_t kMostNetworks = 64;
constexpr std::size_t kMostAttributes = 32;

// What the tree calls a bouncer's network: its name, and its state while not connected.
std::string BouncerLabel(const std::map<std::string, std::string>& attributes, const std::string& id)
{
    const auto get = [&](const char* key) {
        const auto found = attributes.find(key);
        return found == attributes.end() ? std::string() : found->second;
    };
    std::string label = get("name");
    if (label.empty()) {
        label = !get("host").empty() ? get("host") : "network " + id;
    }
    if (const std::string state = get("state"); !state.empty() && state != "connected") {
        label += " (" + state + ")";
    }
    return label;
}

std::string Encoded(const std::map<std::string, std::string>& attributes)
{
    std::string encoded;
    for (const auto& [key, value] : attributes) {
        AppendTo(encoded, encoded.empty() ? "" : ";", EscapeTagValue(key), "=", EscapeTagValue(value));
    }
    return encoded;
}

} // namespace

void Application::AddBouncerNetwork(IRCConnection& home, const BouncerAttributes& attributes)
{
    home.SendMessage(Concat("BOUNCER ADDNETWORK ", Encoded(attributes)));
}

void Application::ChangeBouncerNetwork(IRCConnection& home, const std::string& id,
                                       const BouncerAttributes& changes)
{
    if (!changes.empty()) {
        home.SendMessage(Concat("BOUNCER CHANGENETWORK ", id, " ", Encoded(changes)));
    }
}

void Application::DeleteBouncerNetwork(IRCConnection& home, const std::string& id)
{
    home.SendMessage(Concat("BOUNCER DELNETWORK ", id));
}

Application::ConnectionPtr Application::BouncerConnection(const IRCConnection& home, std::string_view id) const
{
    // A handful of networks per bouncer: walked.
    for (const auto& [key, link] : bouncerLinks_) {
        if (link.id == id && link.home.lock().get() == &home) {
            for (const ConnectionPtr& connection : *pobjConnections_) {
                if (connection->Key() == key) {
                    return connection;
                }
            }
        }
    }
    return nullptr;
}

std::map<std::string, std::map<std::string, std::string>>
Application::BouncerNetworks(const IRCConnection& home) const
{
    std::map<std::string, std::map<std::string, std::string>> networks;
    for (const auto& [key, link] : bouncerLinks_) {
        if (link.home.lock().get() == &home) {
            networks[link.id] = link.attributes;
        }
    }
    return networks;
}

Application::ConnectionPtr Application::BouncerHome(const IRCConnection& bound) const
{
    const auto found = bouncerLinks_.find(bound.Key());
    return found == bouncerLinks_.end() ? nullptr : found->second.home.lock();
}

void Application::pobjConnections_BouncerNetwork(const ConnectionPtr& home, const std::string& id,
                                                 const std::string& attributes)
{
    const ConnectionPtr login = home; // the event's reference may not outlive a window closing
    ConnectionPtr bound = BouncerConnection(*login, id);
    if (attributes == "*") {
        if (bound) {
            CloseConnection(bound);
        }
        return;
    }
    const bool added = !bound;
    const auto known = [this, &login] {
        return std::count_if(bouncerLinks_.begin(), bouncerLinks_.end(),
                             [&login](const auto& each) { return each.second.home.lock() == login; });
    };
    if (added && static_cast<std::size_t>(known()) >= kMostNetworks) {
        StatusEvent(login, false,
                    Concat("*** The bouncer lists more than ", kMostNetworks, " networks: network ", id,
                           " is not connected"));
        return;
    }
    if (added) {
        bound = NewConnection();
        bouncerLinks_[bound->Key()] = BouncerLink{login, id, {}};
    }
    const auto link = bouncerLinks_.find(bound->Key());
    if (link == bouncerLinks_.end()) {
        return; // closed by a listener meanwhile
    }
    // Only what changed is told; an attribute without value is gone.
    ForEachTag(attributes, [&link](std::string_view key, std::string_view value) {
        if (value.empty()) {
            link->second.attributes.erase(std::string(key));
        } else if (auto& attributes = link->second.attributes;
                   attributes.size() < kMostAttributes || attributes.count(std::string(key)) != 0) {
            attributes[std::string(key)] = UnescapeTagValue(value);
        }
    });
    bound->BouncerLabel(BouncerLabel(link->second.attributes, id));
    if (childs_) {
        for (const std::shared_ptr<Child>& window : childs_->Snapshot()) {
            if (window->Connection() == bound.get()) {
                window->GroupLabelChanged();
            }
        }
    }
    if (added) {
        // The bouncer's own login, there again, and the network named before it ends.
        if (const auto& own = login->User(); own && !own->Nick().empty() && own->Nick() != "*") {
            bound->InitialNick(std::string(own->Nick()));
        } else {
            bound->InitialNick(login->InitialNick());
        }
        bound->InitialUserParams(login->InitialUserParams());
        ConnectOptions options = login->Options();
        options.bouncerNetwork = id;
        bound->Connect(login->AttemptHost(), login->AttemptPort(), options);
    }
}

} // namespace tellix
