#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tellix {

inline constexpr std::int32_t VersionMajor = TELLIX_VERSION_MAJOR;
inline constexpr std::int32_t VersionMinor = TELLIX_VERSION_MINOR;
inline constexpr std::int32_t VersionRevision = TELLIX_VERSION_PATCH;

// The settings store name: a new minor version starts with fresh settings.
std::string SettingsAppName();
std::string MainCaption();
// The legal notice of the program's version data, and who wrote it.
inline constexpr std::string_view LegalCopyright = "Copyright (C) 2026 The Tellix developers";
inline constexpr std::string_view AuthorLine = "Written by the Tellix developers";

namespace settings {

inline constexpr std::string_view Section = "Main";

inline constexpr std::string_view FirstUse = "First Use";
inline constexpr std::string_view DefaultServer = "Default Server";
inline constexpr std::string_view DefaultUserNick = "Default User Nick";
inline constexpr std::string_view DefaultUserName = "Default User Name";
inline constexpr std::string_view DefaultUserDescription = "Default User Description";
inline constexpr std::string_view DefaultUserInvisible = "Default User Invisible";
inline constexpr std::string_view DefaultUserWallOp = "Default User WallOp";
inline constexpr std::string_view DefaultServerPort = "Default Server Port";
inline constexpr std::string_view DefaultServerTls = "Default Server TLS";
inline constexpr std::string_view DefaultAccountName = "Default Account Name";
inline constexpr std::string_view DefaultClientCertificate = "Default Client Certificate";
inline constexpr std::string_view DefaultReconnect = "Default Reconnect";
inline constexpr std::string_view DefaultContinueUnidentified = "Default Continue Unidentified";
// Written only where no secret store takes the password.
inline constexpr std::string_view DefaultServerPassword = "Default Server Password";
inline constexpr std::string_view DefaultAccountPassword = "Default Account Password";
inline constexpr std::string_view QuitMessage = "Quit Message";
inline constexpr std::string_view ScrollbackLines = "Scrollback Lines";
inline constexpr std::string_view CtcpReplies = "CTCP Replies";
inline constexpr std::string_view HighlightWords = "Highlight Words";
// The log's font family and its size in points; empty for the window's own.
inline constexpr std::string_view LogFont = "Log Font";
inline constexpr std::string_view LogFontSize = "Log Font Size";
inline constexpr std::string_view Notifications = "Notifications";
inline constexpr std::string_view RejoinChannels = "Rejoin Channels";
// Others see when we type into a channel or query window (where the server carries the tag).
inline constexpr std::string_view SendTypingNotifications = "Send Typing Notifications";
inline constexpr bool SendTypingNotificationsDefault = true;
// The networks connected at exit connect again at the next start, and join what was open.
inline constexpr std::string_view ReconnectAtStart = "Reconnect At Start";
inline constexpr bool ReconnectAtStartDefault = true;
// The nick list's width in pixels, as the user last dragged it; empty for the laid-out width.
inline constexpr std::string_view NickListWidth = "Nick List Width";
// Whether every window's lines go to the logs on disk.
inline constexpr std::string_view Logging = "Logging";
// How many logged lines a channel or query window shows when it opens; 0 none.
inline constexpr std::string_view HistoryLines = "History Lines";
// The masks /IGNORE keeps, blank-separated.
inline constexpr std::string_view IgnoreList = "Ignore List";
// Which list of the windows the main window shows: "tree", "bar" or "both".
inline constexpr std::string_view WindowList = "Window List";
// How the windows share the document area: "one at a time" (each fills it) or "overlapping".
inline constexpr std::string_view WindowLayout = "Window Layout";
// The window tree in alphabetical order (checked) or in the order the windows came.
inline constexpr std::string_view WindowTreeSorted = "Window Tree Sorted";
// The window tree's width in pixels, as the user last left it; empty for the laid-out width.
inline constexpr std::string_view WindowTreeWidth = "Window Tree Width";
// The saved networks' names in their order, blank-separated (a name holds no blank). Each
// network's fields are in a section of its own, NetworkSection(name), under the keys below.
inline constexpr std::string_view NetworkList = "Networks";
// "host/port" or "host/port/tls" per server, blank-separated, tried in that order.
inline constexpr std::string_view NetworkServers = "Servers";
inline constexpr std::string_view NetworkNick = "Nick";
// Blank-separated, tried in order when the nick is taken.
inline constexpr std::string_view NetworkAltNicks = "Alternative Nicks";
inline constexpr std::string_view NetworkUserName = "User Name";
inline constexpr std::string_view NetworkRealName = "Real Name";
// none, plain (SASL), external (SASL with the client certificate), pass (server password) or
// nickserv (IDENTIFY after the welcome).
inline constexpr std::string_view NetworkLogin = "Login";
inline constexpr std::string_view NetworkAccount = "Account";
inline constexpr std::string_view NetworkClientCertificate = "Client Certificate";
// As /JOIN takes it: "#a,#b key1".
inline constexpr std::string_view NetworkAutojoin = "Autojoin";
// Typed lines separated by ";", a ";" inside a line written "\;" and a "\" as "\\".
inline constexpr std::string_view NetworkCommands = "Commands";
inline constexpr std::string_view NetworkAutoconnect = "Autoconnect";
inline constexpr std::string_view NetworkReconnect = "Reconnect";
// Written only where no secret store takes the network's password.
inline constexpr std::string_view NetworkPassword = "Password";

inline constexpr std::string_view FirstUseDefault = "1";
inline constexpr std::string_view DefaultServerDefault = "irc.libera.chat";
inline constexpr std::string_view DefaultUserNickDefault = "user|Tellix";
inline constexpr std::string_view DefaultUserNameDefault = "Tellix_user";
inline constexpr std::string_view DefaultUserDescriptionDefault = "Tellix user";
inline constexpr bool DefaultUserInvisibleDefault = true;
inline constexpr bool DefaultUserWallOpDefault = false;
inline constexpr bool CtcpRepliesDefault = true;
inline constexpr bool NotificationsDefault = true;
inline constexpr bool RejoinChannelsDefault = true;
inline constexpr bool LoggingDefault = true;
inline constexpr std::int64_t HistoryLinesDefault = 50;
inline constexpr std::string_view WindowListDefault = "tree";
inline constexpr std::string_view WindowLayoutDefault = "one at a time";
inline constexpr bool WindowTreeSortedDefault = false;
// More would make opening a window wait for the disk.
inline constexpr std::int64_t HistoryLinesMax = 10'000;
inline constexpr std::int32_t DefaultServerPortDefault = 6697;
inline constexpr bool DefaultServerTlsDefault = true;
inline constexpr bool DefaultReconnectDefault = false;
inline constexpr bool DefaultContinueUnidentifiedDefault = false;

// Where the fingerprint the user trusts for a server's host and port is kept; the host in
// lower case, as names are compared.
std::string TrustedCertificateKey(std::string_view host, std::int32_t port);
// The section of a saved network's fields: "Network Libera.Chat".
std::string NetworkSection(std::string_view name);
// Where the secret store keeps a saved network's password: "Network Libera.Chat Password".
std::string NetworkPasswordKey(std::string_view name);
// Where a host's strict transport policy is kept, as "<port> <expiry, seconds since 1970>"; the
// host in lower case.
std::string StsPolicyKey(std::string_view host);
// "Tellix 0.6": what others see when the program exits while connected.
std::string QuitMessageDefault();
inline constexpr std::int64_t ScrollbackLinesDefault = 100'000;
// Below a thousand a window would lose what the user just scrolled back to within seconds of
// a busy channel (and it keeps a page of lines above the limit anyway); a million ordinary
// lines are about 100 MB a window.
inline constexpr std::int64_t ScrollbackLinesMin = 1'000;
inline constexpr std::int64_t ScrollbackLinesMax = 1'000'000;

// A stored check-box state: any non-zero number or "true" checks it, "0" or "false"
// clears it (words in any letter case, blanks around ignored). Anything else is not
// a state at all and yields `fallback`.
bool ReadCheckBox(std::string_view stored, bool fallback);
// The numeric state as stored: "1" checked, "0" unchecked.
std::string WriteCheckBox(bool checked);

// Only the exact text "0" means the program has been used before.
bool IsFirstUse(std::string_view stored);

// A decimal count of lines (blanks around ignored), held between the minimum and the maximum;
// anything else, or nothing, is the default.
std::int64_t ReadScrollbackLines(std::string_view stored);
// A decimal count from 0 (none) to the maximum; anything else, or nothing, is the default.
std::int64_t ReadHistoryLines(std::string_view stored);

} // namespace settings
} // namespace tellix
