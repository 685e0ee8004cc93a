#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tellix {

// The parts of a user mask nick!user@host.
struct UserMaskRecord {
    std::string Nick;
    std::string User;
    std::string Host;
    std::int32_t Info = 0; // 1: Nick not empty, 2: User not empty, 4: Host not empty
};

// The same parts as views into the text they were cut from.
struct UserMaskView {
    std::string_view Nick;
    std::string_view User;
    std::string_view Host;
    std::int32_t Info = 0;
};

// Splits at the first "!" and the last "@". When the last "@" stands before the first
// "!", the user part is empty, the nick ends at the "!" and the host follows the "@".
UserMaskRecord ParseUserMask(std::string_view text);
UserMaskView ParseUserMaskView(std::string_view text);

// Always both separators, whatever part is empty.
std::string BuildUserMask(const UserMaskRecord& record);

// Bit 1: same nick, bit 2: same user, bit 4: same host; exact comparison.
std::int32_t CompareUserMasks(const UserMaskRecord& x, const UserMaskRecord& y);
std::int32_t CompareUserMasks(const UserMaskView& x, const UserMaskView& y);

// The Nick that ParseUserMask would give, without building the record.
std::string_view UserMaskNick(std::string_view text);

// A sender prefix that names a server, not a person: no "!" or "@", and a dot, which no
// nick may hold.
bool IsServerName(std::string_view prefix);

} // namespace tellix
