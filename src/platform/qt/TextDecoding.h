#pragma once

#include <QString>

#include <string_view>

namespace tellix {

// Text from IRC for the screen, by runs: valid UTF-8 as UTF-8, each byte that is not part of a
// valid sequence as Windows-1252, so that no byte is lost and nothing a single-byte client
// would have shown turns into a replacement character.
QString DecodeForDisplay(std::string_view bytes);

} // namespace tellix
