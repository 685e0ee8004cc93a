#pragma once

#include <string>
#include <string_view>

namespace tellix {

// Text from IRC made fit for a terminal, as UTF-8 that cannot steer it. It is decoded as the
// log decodes it (valid UTF-8 as UTF-8, anything else as Windows-1252, no byte dropped); the
// six formatting codes pass, and every other control character is written as a visible
// picture: C0 and DEL as U+2400-U+2421, a C1 code point U+0080-U+009F as "<" + its two
// upper-case hex digits + ">" ("<9B>"), plain ASCII that no terminal acts on.

// `bytes` as one piece of text: a line break in it is shown as its pictures too.
void AppendTerminalText(std::string_view bytes, std::string& out);

// `text` cut at every CR LF, each line written as `prefix`, its text and "\n"; each line is
// decoded by itself, as the log decodes it.
void AppendTerminalLines(std::string_view prefix, std::string_view text, std::string& out);

} // namespace tellix
