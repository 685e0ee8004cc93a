#pragma once

#include "app/Network.h"
#include "util/Event.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class SecretStore;
class SettingsStore;
class Toolkit;

// The saved networks, in the user's order, as the settings store keeps them; their passwords in
// the secret store, or in the settings file where none answers. Names compare in ASCII case.
//
// Every change is written at once. A change that cannot be made changes nothing and says why in
// a line a window can show; that line never holds a password.
class Networks {
public:
    // Loads the list; at the first start that has none, the connect dialog's saved data becomes
    // the first network. Passwords come later, as the secret store answers.
    Networks(SettingsStore& settings, SecretStore* secrets);
    // The toolkit's settings store and secret store.
    explicit Networks(Toolkit& toolkit);
    ~Networks();
    Networks(const Networks&) = delete;
    Networks& operator=(const Networks&) = delete;

    std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }
    // Position from 1; a position outside the list fails with CoreError kErrorInvalidIndex.
    const Network& Item(std::int32_t position) const;
    const Network* Find(std::string_view name) const;
    // The network's position from 1, or 0.
    std::int32_t Position(std::string_view name) const;

    // Each returns empty text when done, else why not.
    std::string Add(Network network);
    // Everything but the password, the name included (a rename).
    std::string Update(std::string_view name, const Network& network);
    std::string Remove(std::string_view name);
    std::string Rename(std::string_view name, std::string_view newName);
    // To `position` (from 1; beyond the end means last).
    std::string Move(std::string_view name, std::int32_t position);
    // An empty password removes it. `tell` hears, once a run, that no secret store took one and
    // the settings file keeps it.
    std::string SetPassword(std::string_view name, const std::string& password,
                            std::function<void(const std::string&)> tell = {});

    // Whether the secret store has answered for the network's password (or it needed none).
    bool PasswordKnown(std::string_view name) const;
    // Runs `ready` with the network, its password filled in, once the password is known: at
    // once if it is. Null when the network is gone first; never when the program ends first.
    void WhenPasswordKnown(std::string_view name, std::function<void(const Network*)> ready);

    // Raised after every change to the list or to a network, a password come from the store
    // included. A listener may change the list.
    Event<> Changed;

    // What a network must be to be saved; empty when it may.
    std::string Check(const Network& network) const;
    // Why a name cannot name a network; empty when it can.
    static std::string NameProblem(std::string_view name);

    // The well-known networks, to start from.
    static const std::vector<Network>& Presets();
    // A preset by name, with the nick, user name and real name the connect dialog keeps; none
    // where no preset has that name.
    std::optional<Network> FromPreset(std::string_view name) const;
    // A network to fill in: one server on the TLS port, the connect dialog's identity.
    Network Blank(std::string name, std::string host) const;

private:
    struct Entry {
        std::uint64_t id = 0;
        Network network;
        bool passwordKnown = false;
        std::vector<std::function<void(const Network*)>> waiting;
    };

    void Load();
    void Migrate();
    Network LoadOne(const std::string& name) const;
    void LoadPassword(Entry& entry);
    void SaveFields(const Network& network);
    void SaveList();
    // Keeps the password where it belongs: the secret store, or the settings file.
    void StorePassword(std::uint64_t id, std::function<void(const std::string&)> tell);
    void PasswordArrived(std::uint64_t id, const std::string& password);
    void ForgetPassword(const std::string& name);
    Entry* ById(std::uint64_t id);
    Entry* ByName(std::string_view name);
    const Entry* ByName(std::string_view name) const;
    std::string Get(const std::string& section, std::string_view key, const std::string& fallback) const;
    void Put(const std::string& section, std::string_view key, const std::string& value);
    void RaiseChanged();

    SettingsStore& settings_;
    SecretStore* secrets_;
    std::vector<Entry> entries_;
    std::uint64_t nextId_ = 1;
    bool toldPasswordsInFile_ = false;
    // Answers from the secret store after this object is gone touch nothing.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

// The text forms of a network's fields, as the settings file keeps them and as /network and the
// Networks dialog take them. A reader returns none (or an empty list) and fills `problem` with a
// line for the user when the text is not one.

// "host/port[/tls] ..." as stored.
std::string ServersText(const std::vector<ServerPlace>& servers);
std::vector<ServerPlace> ReadServers(std::string_view text);
// Why a host cannot be saved; empty when it can.
std::string HostProblem(std::string_view host);
// "#a,#b key1" as /JOIN takes it.
std::string AutojoinText(const std::vector<AutojoinChannel>& channels);
std::optional<std::vector<AutojoinChannel>> ParseAutojoin(std::string_view text, std::string& problem);
// Lines separated by ";", with "\;" for a ";" inside a line and "\\" for a "\". Blank lines go.
std::string CommandsText(const std::vector<std::string>& lines);
std::vector<std::string> ReadCommands(std::string_view text);
// Nicks separated by blanks or commas.
std::optional<std::vector<std::string>> ParseNicks(std::string_view text, std::string& problem);
std::string_view LoginWord(NetworkLogin login);
std::optional<NetworkLogin> ParseLogin(std::string_view word);

// Which login fields a kind of login reads: the form enables only those.
struct LoginFields {
    bool account = false;
    bool password = false;
    bool certificate = false;
};
LoginFields FieldsOf(NetworkLogin login);

// A server's port when TLS is turned on or off: the usual port of the other kind becomes this
// kind's; a port the user chose stays.
std::int32_t PortForTls(std::int32_t port, bool tls);

} // namespace tellix
