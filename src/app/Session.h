#pragma once

#include "net/SavedLogin.h"
#include "platform/ChildView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tellix {

class SettingsStore;

// What was open at exit, to come back at the next start: the connections, the windows in
// their order with their places and states, and the active one.
struct Session {
    struct Connection {
        std::string network; // the saved network it connected, if any
        ServerPlace server;  // where it was, for one no network names
        std::string logName; // the name its logs are kept under
        bool connected = false;
        bool operator==(const Connection&) const = default;
    };
    struct Window {
        enum class Kind { Status, Channel, Query };
        std::int32_t connection = 0; // a position in `connections`
        Kind kind = Kind::Status;
        std::string name; // the channel or the partner's nick
        std::string key;  // the channel's key
        WindowState state = WindowState::Normal;
        std::optional<WindowPlace> place;
        bool operator==(const Window&) const = default;
    };
    std::vector<Connection> connections;
    std::vector<Window> windows;
    std::int32_t active = -1; // a position in `windows`, or -1
    bool operator==(const Session&) const = default;

    // Anything unreadable in the store is skipped: a session that cannot come back whole
    // comes back in part.
    static Session Read(SettingsStore& store);
    void Write(SettingsStore& store) const;
};

} // namespace tellix
