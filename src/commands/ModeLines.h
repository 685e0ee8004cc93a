#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// The MODE lines that give (`sign` '+') or take ('-') `mode` to each of `nicks` on `channel`:
// at most `perLine` nicks a line (at least 1), and never a line longer than `room` bytes
// while a nick fits at all. "MODE #room +oo anna bob".
std::vector<std::string> PackModeLines(std::string_view channel, char sign, char mode,
                                       const std::vector<std::string>& nicks, std::int32_t perLine,
                                       std::size_t room);

// A ban mask for what the user typed: a bare nick bans nick!*@*, a mask stays as it is.
std::string BanMaskOf(std::string_view typed);

} // namespace tellix
