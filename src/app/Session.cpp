#include "app/Session.h"

#include "app/Settings.h"
#include "platform/SettingsStore.h"
#include "util/Concat.h"

#include <charconv>
#include <string_view>

namespace tellix {

namespace {

constexpr std::string_view kSection = "Session";
// More than anyone keeps open; a hostile or broken file costs no more than this.
constexpr std::int64_t kMostEntries = 100'000;

// Fields are separated by blanks: a blank, a percent sign or a control byte inside one is
// written as %XX, and an empty field as "-".
std::string Field(std::string_view text)
{
    if (text.empty()) {
        return "-";
    }
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || c == '%' || byte == 0x7f || (c == '-' && text.size() == 1)) {
            constexpr std::string_view kHex = "0123456789ABCDEF";
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unfield(std::string_view field)
{
    if (field == "-") {
        return {};
    }
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        unsigned value = 0;
        if (field[i] == '%' && i + 2 < field.size() &&
            std::from_chars(field.data() + i + 1, field.data() + i + 3, value, 16).ptr == field.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> Split(std::string_view text)
{
    std::vector<std::string_view> words;
    while (!text.empty()) {
        const std::size_t blank = text.find(' ');
        const std::string_view word = text.substr(0, blank);
        if (!word.empty()) {
            words.push_back(word);
        }
        text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    }
    return words;
}

std::optional<std::int64_t> Number(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string Get(SettingsStore& store, const std::string& key)
{
    return store.GetSetting(SettingsAppName(), std::string(kSection), key, "");
}

void Put(SettingsStore& store, const std::string& key, const std::string& value)
{
    store.SaveSetting(SettingsAppName(), std::string(kSection), key, value);
}

std::int64_t Count(SettingsStore& store, const std::string& key)
{
    const std::optional<std::int64_t> count = Number(Get(store, key));
    return count && *count > 0 ? std::min(*count, kMostEntries) : 0;
}

} // namespace

Session Session::Read(SettingsStore& store)
{
    Session session;
    const std::int64_t connections = Count(store, "Connections");
    for (std::int64_t index = 0; index < connections; ++index) {
        const std::string line = Get(store, Concat("Connection ", index));
        const std::vector<std::string_view> words = Split(line);
        const std::optional<std::int64_t> port = words.size() == 6 ? Number(words[2]) : std::nullopt;
        if (!port || *port < 0 || *port > 65535) {
            // A window of it would name the wrong connection: what follows cannot come back.
            break;
        }
        Connection connection;
        connection.connected = words[0] == "1";
        connection.server = {Unfield(words[3]), static_cast<std::int32_t>(*port), words[1] == "1"};
        connection.network = Unfield(words[4]);
        connection.logName = Unfield(words[5]);
        session.connections.push_back(std::move(connection));
    }
    const std::int64_t windows = Count(store, "Windows");
    // The active window is named by its place among those written; some may not come back.
    const std::optional<std::int64_t> activeWritten = Number(Get(store, "Active Window"));
    for (std::int64_t index = 0; index < windows; ++index) {
        const std::string line = Get(store, Concat("Window ", index));
        const std::vector<std::string_view> words = Split(line);
        if (words.size() != 9) {
            continue;
        }
        const std::optional<std::int64_t> connection = Number(words[0]);
        const std::optional<std::int64_t> state = Number(words[2]);
        if (!connection || *connection < 0 ||
            *connection >= static_cast<std::int64_t>(session.connections.size()) || !state || *state < 0 ||
            *state > 2 || words[1].size() != 1) {
            continue;
        }
        Window window;
        window.connection = static_cast<std::int32_t>(*connection);
        switch (words[1][0]) {
        case 's':
            window.kind = Window::Kind::Status;
            break;
        case 'c':
            window.kind = Window::Kind::Channel;
            break;
        case 'q':
            window.kind = Window::Kind::Query;
            break;
        default:
            continue;
        }
        window.state = static_cast<WindowState>(*state);
        const auto left = Number(words[3]);
        const auto top = Number(words[4]);
        const auto width = Number(words[5]);
        const auto height = Number(words[6]);
        constexpr std::int64_t kFar = 1'000'000;
        const auto sane = [](const std::optional<std::int64_t>& v, std::int64_t low) {
            return v && *v >= low && *v <= kFar;
        };
        if (sane(left, -kFar) && sane(top, -kFar) && sane(width, 1) && sane(height, 1)) {
            window.place = WindowPlace{static_cast<std::int32_t>(*left), static_cast<std::int32_t>(*top),
                                       static_cast<std::int32_t>(*width), static_cast<std::int32_t>(*height)};
        }
        window.name = Unfield(words[7]);
        window.key = Unfield(words[8]);
        if (window.kind != Window::Kind::Status && window.name.empty()) {
            continue;
        }
        if (activeWritten == index) {
            session.active = static_cast<std::int32_t>(session.windows.size());
        }
        session.windows.push_back(std::move(window));
    }
    return session;
}

void Session::Write(SettingsStore& store) const
{
    Put(store, "Connections", std::to_string(connections.size()));
    for (std::size_t index = 0; index < connections.size(); ++index) {
        const Connection& connection = connections[index];
        Put(store, Concat("Connection ", index),
            Concat(connection.connected ? "1" : "0", " ", connection.server.tls ? "1" : "0", " ",
                   connection.server.port, " ", Field(connection.server.host), " ", Field(connection.network), " ",
                   Field(connection.logName)));
    }
    Put(store, "Windows", std::to_string(windows.size()));
    for (std::size_t index = 0; index < windows.size(); ++index) {
        const Window& window = windows[index];
        const char kind = window.kind == Window::Kind::Status    ? 's'
                          : window.kind == Window::Kind::Channel ? 'c'
                                                                 : 'q';
        const std::string place = window.place ? Concat(window.place->left, " ", window.place->top, " ",
                                                        window.place->width, " ", window.place->height)
                                               : std::string("- - - -");
        Put(store, Concat("Window ", index),
            Concat(window.connection, " ", std::string_view(&kind, 1), " ",
                   static_cast<std::int32_t>(window.state), " ", place, " ", Field(window.name), " ",
                   Field(window.key)));
    }
    Put(store, "Active Window", std::to_string(active));
}

} // namespace tellix
