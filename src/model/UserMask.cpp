#include "model/UserMask.h"
#include "util/LineRoad.h"

#include <string.h> // memrchr

namespace tellix {

TELLIX_LINE_ROAD UserMaskView ParseUserMaskView(std::string_view text)
{
    UserMaskView record;
    const std::size_t bang = text.find('!');
    // The last '@': memrchr reads backwards a vector at a time where rfind goes byte by byte,
    // and every received line from a user comes through here.
    const void* const lastAt = text.empty() ? nullptr : memrchr(text.data(), '@', text.size());
    const std::size_t at = lastAt == nullptr
                               ? std::string_view::npos
                               : static_cast<std::size_t>(static_cast<const char*>(lastAt) - text.data());
    if (bang == std::string_view::npos) {
        if (at == std::string_view::npos) {
            record.Nick = text;
        } else {
            record.User = text.substr(0, at);
            record.Host = text.substr(at + 1);
        }
    } else {
        record.Nick = text.substr(0, bang);
        if (at != std::string_view::npos) {
            if (at > bang) {
                record.User = text.substr(bang + 1, at - bang - 1);
            }
            record.Host = text.substr(at + 1);
        }
    }
    record.Info = (record.Nick.empty() ? 0 : 1) + (record.User.empty() ? 0 : 2) + (record.Host.empty() ? 0 : 4);
    return record;
}

UserMaskRecord ParseUserMask(std::string_view text)
{
    const UserMaskView parts = ParseUserMaskView(text);
    return {std::string(parts.Nick), std::string(parts.User), std::string(parts.Host), parts.Info};
}

std::string BuildUserMask(const UserMaskRecord& record)
{
    std::string mask;
    mask.reserve(record.Nick.size() + record.User.size() + record.Host.size() + 2);
    mask.append(record.Nick).append("!").append(record.User).append("@").append(record.Host);
    return mask;
}

std::int32_t CompareUserMasks(const UserMaskRecord& x, const UserMaskRecord& y)
{
    return CompareUserMasks(UserMaskView{x.Nick, x.User, x.Host, x.Info},
                            UserMaskView{y.Nick, y.User, y.Host, y.Info});
}

std::int32_t CompareUserMasks(const UserMaskView& x, const UserMaskView& y)
{
    return (x.Nick == y.Nick ? 1 : 0) + (x.User == y.User ? 2 : 0) + (x.Host == y.Host ? 4 : 0);
}

std::string_view UserMaskNick(std::string_view text)
{
    const std::size_t bang = text.find('!');
    if (bang != std::string_view::npos) {
        return text.substr(0, bang);
    }
    return text.find('@') == std::string_view::npos ? text : std::string_view();
}

bool IsServerName(std::string_view prefix)
{
    return prefix.find_first_of("!@") == std::string_view::npos && prefix.find('.') != std::string_view::npos;
}

} // namespace tellix
