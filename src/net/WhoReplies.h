#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

// The fields a WHO line asks for in the extended form ("WHO #room %tcnf,42" asks t, c, n and f),
// in the order a 354 reply gives them; empty for a plain WHO or any other line.
std::string WhoxFields(std::string_view whoLine);

// Where field `letter` sits among a 354 reply's parameters after our own nick (0 the first);
// -1 when it was not asked for.
std::int32_t WhoxPosition(std::string_view fields, char letter);

// Whether a WHO reply's flags say away ("G", gone) or here ("H"); nothing for anything else.
std::optional<bool> WhoFlagsAway(std::string_view flags);

} // namespace tellix
