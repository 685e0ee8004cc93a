#include "util/PasswordMask.h"

#include "util/Concat.h"

#include <algorithm>
#include <array>

namespace tellix {

namespace {

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameWord(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// Where the word at or after `from` starts and ends; both npos past the last.
std::pair<std::size_t, std::size_t> WordAt(std::string_view text, std::size_t from)
{
    const std::size_t start = text.find_first_not_of(' ', from);
    if (start == std::string_view::npos) {
        return {std::string_view::npos, std::string_view::npos};
    }
    const std::size_t end = text.find(' ', start);
    return {start, end == std::string_view::npos ? text.size() : end};
}

// Commands whose every argument may hold a password: the usual services' (Atheme, Anope),
// QuakeNet's Q (NEWPASS) and GameSurge's AuthServ (PASS).
bool IsLoginWord(std::string_view word)
{
    static constexpr std::array<std::string_view, 13> kWords = {
        "IDENTIFY", "REGISTER", "LOGIN", "AUTH",  "GHOST", "RECOVER", "RELEASE",
        "REGAIN",   "SETPASS",  "DROP",  "GROUP", "PASS",  "NEWPASS"};
    return std::any_of(kWords.begin(), kWords.end(), [word](std::string_view w) { return SameWord(word, w); });
}

// The end of the login command that starts `text` ("SET PASSWORD" is two words, "SASET nick
// PASSWORD" three), or npos when the text starts with none or gives it nothing to hide. A
// colon may start it, as a raw line's last parameter.
std::size_t LoginCommandEnd(std::string_view text)
{
    auto [start, end] = WordAt(text, 0);
    if (start == std::string_view::npos) {
        return std::string_view::npos;
    }
    std::string_view first = text.substr(start, end - start);
    if (first.starts_with(':')) {
        first.remove_prefix(1);
    }
    // SET PASSWORD secret, SASET nick PASSWORD secret: the password word ends the command.
    const std::size_t passwordWord = SameWord(first, "SET") ? 1 : SameWord(first, "SASET") ? 2 : 0;
    for (std::size_t word = 1; word <= passwordWord; ++word) {
        const auto [next, nextEnd] = WordAt(text, end);
        if (next == std::string_view::npos ||
            (word == passwordWord && !SameWord(text.substr(next, nextEnd - next), "PASSWORD"))) {
            return std::string_view::npos;
        }
        end = nextEnd;
    }
    if (passwordWord == 0 && !IsLoginWord(first)) {
        return std::string_view::npos;
    }
    return WordAt(text, end).first == std::string_view::npos ? std::string_view::npos : end;
}

std::optional<std::string> MaskAfter(std::string_view text, std::size_t end)
{
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return Concat(text.substr(0, end), " ", kPasswordMask);
}

} // namespace

bool IsLoginService(std::string_view target)
{
    const std::string_view nick = target.substr(0, target.find('@'));
    constexpr std::string_view kServ = "SERV";
    return SameWord(nick, "Q") || SameWord(nick, "X") ||
           (nick.size() > kServ.size() && SameWord(nick.substr(nick.size() - kServ.size()), kServ));
}

std::optional<std::string> MaskSaid(std::string_view target, std::string_view text)
{
    if (!IsLoginService(target)) {
        return std::nullopt;
    }
    // An action ("/me identify ...") reaches no service as a login, but shows and would be
    // logged as any line: what it holds is hidden the same way, inside its framing.
    constexpr std::string_view kAction = "\x01"
                                         "ACTION ";
    if (text.starts_with(kAction)) {
        std::string_view inner = text.substr(kAction.size());
        const bool closed = inner.ends_with('\x01');
        if (closed) {
            inner.remove_suffix(1);
        }
        const std::optional<std::string> masked = MaskAfter(inner, LoginCommandEnd(inner));
        return masked ? std::optional(Concat(kAction, *masked, closed ? "\x01" : "")) : std::nullopt;
    }
    return MaskAfter(text, LoginCommandEnd(text));
}

std::optional<std::string> MaskRaw(std::string_view raw)
{
    const auto [start, end] = WordAt(raw, 0);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view command = raw.substr(start, end - start);
    if (SameWord(command, "PASS") || SameWord(command, "OPER") || SameWord(command, "AUTHENTICATE")) {
        return MaskAfter(raw, WordAt(raw, end).first == std::string_view::npos ? std::string_view::npos : end);
    }
    // Servers that alias the services' commands take "IDENTIFY secret" as a line of its own.
    if (const std::size_t login = LoginCommandEnd(raw); login != std::string_view::npos) {
        return MaskAfter(raw, login);
    }
    if (SameWord(command, "PRIVMSG") || SameWord(command, "NOTICE") || SameWord(command, "MSG")) {
        const auto [target, targetEnd] = WordAt(raw, end);
        if (target == std::string_view::npos || !IsLoginService(raw.substr(target, targetEnd - target))) {
            return std::nullopt;
        }
        std::size_t text = raw.find_first_not_of(' ', targetEnd);
        if (text == std::string_view::npos) {
            return std::nullopt;
        }
        if (raw[text] == ':') {
            ++text;
        }
        const std::size_t login = LoginCommandEnd(raw.substr(text));
        return MaskAfter(raw, login == std::string_view::npos ? login : text + login);
    }
    // The services' own commands, as most networks take them: "NICKSERV IDENTIFY", "NS IDENTIFY".
    const std::size_t login = LoginCommandEnd(raw.substr(end));
    return MaskAfter(raw, login == std::string_view::npos ? login : end + login);
}

} // namespace tellix
