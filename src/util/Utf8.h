#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tellix {

// Whether `bytes` are valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view bytes);

// Bytes as the windows show them, in UTF-8: valid UTF-8 unchanged, anything else read as
// Windows-1252, one character per byte, so nothing is lost.
std::string ShownAsUtf8(std::string_view bytes);

// The longest length up to `limit` at which `text` may be cut without splitting a UTF-8
// character. Bytes that are not UTF-8 are cut anywhere; a limit past the end is the end.
std::size_t Utf8Cut(std::string_view text, std::size_t limit);

} // namespace tellix
