#include "net/SaslLogin.h"

#include <cstdint>

namespace tellix {

std::string Base64Encode(std::string_view bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = (std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16) |
                                    (std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8) |
                                    std::uint32_t{static_cast<unsigned char>(bytes[i + 2])};
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += kDigits[(group >> 6) & 63];
        text += kDigits[group & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t group = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
        if (left == 2) {
            group |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
        }
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += left == 2 ? kDigits[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

std::vector<std::string> AuthenticateLines(std::string_view payload)
{
    constexpr std::size_t kChunk = 400;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < payload.size(); at += kChunk) {
        lines.push_back("AUTHENTICATE ");
        lines.back().append(payload.substr(at, kChunk));
    }
    if (payload.size() % kChunk == 0) {
        lines.emplace_back("AUTHENTICATE +");
    }
    return lines;
}

std::string SaslPlainPayload(std::string_view authzid, std::string_view authcid, std::string_view password)
{
    std::string message;
    message.append(authzid).push_back('\0');
    message.append(authcid).push_back('\0');
    message.append(password);
    return Base64Encode(message);
}

} // namespace tellix
