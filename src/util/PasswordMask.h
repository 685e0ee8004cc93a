#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tellix {

// What stands in a window for a password the user typed.
inline constexpr std::string_view kPasswordMask = "********";

// A nick that takes logins: NickServ, ChanServ and any other "...Serv", QuakeNet's Q and
// Undernet's X, also in the nick@server form that reaches the real service only.
bool IsLoginService(std::string_view target);

// `text` said to `target` as it may be shown: a login to a service ("IDENTIFY", "REGISTER",
// "SET PASSWORD" ...) with everything after the command as kPasswordMask. Nothing when the
// text holds no password, or the target is no service. An action is masked inside its framing.
std::optional<std::string> MaskSaid(std::string_view target, std::string_view text);

// A raw line as /quote sends it, masked the same way: PASS, OPER and AUTHENTICATE, a PRIVMSG
// or NOTICE of a login to a service, and the services' commands as servers alias them
// ("IDENTIFY secret", "NICKSERV IDENTIFY secret", "NS IDENTIFY secret").
std::optional<std::string> MaskRaw(std::string_view raw);

} // namespace tellix
