#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tellix {

std::string Base64Encode(std::string_view bytes);

// The AUTHENTICATE lines that carry `payload` (already base64): 400 bytes a line, and a
// lone "+" after a last line of exactly 400, or for an empty payload, so the server knows
// it has all.
std::vector<std::string> AuthenticateLines(std::string_view payload);

// PLAIN's payload: the account to act as, the account logging in and its password, NUL
// between them, in base64.
std::string SaslPlainPayload(std::string_view authzid, std::string_view authcid, std::string_view password);

} // namespace tellix
