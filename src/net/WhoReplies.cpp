#include "net/WhoReplies.h"

#include "util/Utility.h"

namespace tellix {

namespace {

// The order a server gives the fields in, whatever order they were asked in.
constexpr std::string_view kFieldOrder = "tcuihsnfdlaor";

std::string_view NextWord(std::string_view& rest)
{
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = rest.find(' ');
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return word;
}

} // namespace

std::string WhoxFields(std::string_view whoLine)
{
    std::string_view rest = whoLine;
    if (UpperCase(NextWord(rest)) != "WHO") {
        return {};
    }
    NextWord(rest); // the mask
    std::string_view options = NextWord(rest);
    if (options.starts_with(':')) {
        options.remove_prefix(1);
    }
    const std::size_t percent = options.find('%');
    if (percent == std::string_view::npos) {
        return {};
    }
    // "%fields,token": the token is the t field's value.
    const std::string_view asked = options.substr(percent + 1, options.find(',', percent) - percent - 1);
    std::string fields;
    for (const char field : kFieldOrder) {
        if (asked.find(field) != std::string_view::npos) {
            fields += field;
        }
    }
    return fields;
}

std::int32_t WhoxPosition(std::string_view fields, char letter)
{
    const std::size_t at = fields.find(letter);
    return at == std::string_view::npos ? -1 : static_cast<std::int32_t>(at);
}

std::optional<bool> WhoFlagsAway(std::string_view flags)
{
    if (flags.starts_with('G')) {
        return true;
    }
    if (flags.starts_with('H')) {
        return false;
    }
    return std::nullopt;
}

} // namespace tellix
