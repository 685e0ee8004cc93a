#include "commands/ModeLines.h"

#include <algorithm>

namespace tellix {

std::vector<std::string> PackModeLines(std::string_view channel, char sign, char mode,
                                       const std::vector<std::string>& nicks, std::int32_t perLine,
                                       std::size_t room)
{
    const std::size_t most = static_cast<std::size_t>(std::max<std::int32_t>(perLine, 1));
    std::vector<std::string> lines;
    std::string modes;
    std::string targets;
    const auto flush = [&] {
        if (!modes.empty()) {
            std::string line = "MODE ";
            line.append(channel).append(" ").append(1, sign).append(modes).append(targets);
            lines.push_back(std::move(line));
        }
        modes.clear();
        targets.clear();
    };
    const std::size_t head = 5 + channel.size() + 2; // "MODE " channel " " sign
    for (const std::string& nick : nicks) {
        if (nick.empty()) {
            continue;
        }
        const std::size_t grown = head + modes.size() + 1 + targets.size() + 1 + nick.size();
        if (modes.size() == most || (!modes.empty() && grown > room)) {
            flush();
        }
        modes += mode;
        targets.append(" ").append(nick);
    }
    flush();
    return lines;
}

std::string BanMaskOf(std::string_view typed)
{
    if (typed.find_first_of("!@*?") != std::string_view::npos) {
        return std::string(typed);
    }
    return std::string(typed) + "!*@*";
}

} // namespace tellix
