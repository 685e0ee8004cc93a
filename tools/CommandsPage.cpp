// Writes docs/commands.md from the command interpreter's own table, so that the page says
// exactly what /help says. Run: build/tools/tellix-commands-page > docs/commands.md
#include "commands/CommandRun.h"

#include <iostream>
#include <string>
#include <string_view>

namespace {

// A code span inside a table cell: a bare | would end the cell, even there.
std::string Code(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '|') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// Plain text inside a table cell: "nick!*@*" must not turn into emphasis, nor a bracket into a link.
std::string Text(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (std::string_view("\\`*_[]<>|").find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

} // namespace

int main()
{
    std::cout << "# Commands\n\n"
                 "<!-- Generated from the client's /help texts by tools/CommandsPage.cpp; do not edit.\n"
                 "     Regenerate with: make docs -->\n\n"
                 "A line typed into a window's input line is a command when it starts with `/`; a plain line\n"
                 "is said to the window's channel or partner, or sent raw from the status window. Command\n"
                 "words are read in any letter case. In the client, `/help` lists these lines and\n"
                 "`/help name` shows one command's form and example.\n\n"
                 "| command | what it does | for example |\n"
                 "|---|---|---|\n";
    for (const tellix::CommandRun::Entry& entry : tellix::CommandRun::Table()) {
        std::cout << "| `/" << Lower(entry.name) << (entry.form.empty() ? "" : " ") << Code(entry.form) << "` | "
                  << Text(entry.summary) << " | `" << Code(entry.example) << "` |\n";
    }
    std::cout
        << "\n## Notes\n\n"
           "- `/server` alone connects with the connect dialog's data; `/server -tls host [port]` connects\n"
           "  with TLS (port 6697 unless given), and `/server -trust fingerprint host port` trusts a\n"
           "  certificate there ([Connecting](connecting.md)).\n"
           "- `/network` keeps the saved networks: `list`, `add NAME [HOST [PORT]] [-tls]` (NAME alone for a\n"
           "  preset), `set NAME FIELD VALUE`, `rename NAME NEW`, `move NAME PLACE` and `remove NAME`\n"
           "  ([Saved networks](networks.md)).\n"
           "- `/op`, `/deop`, `/voice` and `/devoice` act in the window's channel and pack their nicks\n"
           "  into as few `MODE` lines as the server's `MODES=` allows.\n"
           "- `/ban` with a bare nick bans `nick!*@*`; alone, it lists the bans.\n"
           "- While you are away every caption of the connection shows `(away)` after your nick, and the "
           "away text is\n"
           "  set again after a reconnect.\n"
           "- `/ignore` masks take `*` and `?` (a bare nick is `nick!*@*`); an ignored sender's messages,\n"
           "  notices and CTCP requests are neither shown nor answered. Alone, it lists the masks.\n"
           "- What the server answers (WHOIS, WHO, names, ban lists, away, and their errors) is written as\n"
           "  readable `***` lines in the window that asked, or in the channel's window when the answer\n"
           "  is about it. Where the server labels its replies (`labeled-response`), each answer goes to\n"
           "  the window its command was typed in, whatever was typed elsewhere meanwhile.\n"
           "- Someone away is drawn dimmed in a channel's nick list, and a query window with them is\n"
           "  drawn milder in the window tree.\n"
           "- In the Qt window `/list` opens a Channel List window; `/search` opens the search window\n"
           "  ([Logs and search](logs-and-search.md)).\n"
           "- `/window` has the sub-commands `channel [channel|-]` (the window's channel),\n"
           "  `close [number]`, `command [text]` (a window's default command), `new` (an empty\n"
           "  window), `query [nick|-]` (the window's partner) and `refresh` (its nick list again).\n";
    return 0;
}
