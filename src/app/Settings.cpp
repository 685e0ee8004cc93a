#include "app/Settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tellix {

std::string SettingsAppName()
{
    return "Tellix" + std::to_string(VersionMajor) + std::to_string(VersionMinor);
}

std::string MainCaption()
{
    return "Tellix - Dorvan's IRC Client " + std::to_string(VersionMajor) + "." + std::to_string(VersionMinor) +
           "." + std::to_string(VersionRevision);
}

namespace settings {

std::string QuitMessageDefault()
{
    return "Tellix " + std::to_string(VersionMajor) + "." + std::to_string(VersionMinor);
}

bool ReadCheckBox(std::string_view stored, bool fallback)
{
    while (!stored.empty() && std::isspace(static_cast<unsigned char>(stored.front()))) {
        stored.remove_prefix(1);
    }
    while (!stored.empty() && std::isspace(static_cast<unsigned char>(stored.back()))) {
        stored.remove_suffix(1);
    }
    std::string lower(stored);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "true") {
        return true;
    }
    if (lower == "false") {
        return false;
    }
    if (lower.empty()) {
        return fallback;
    }
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(lower.c_str(), &end);
    if (end != lower.c_str() + lower.size() || std::isnan(number)) {
        return fallback;
    }
    return std::fabs(number) != 0.0;
}

std::string WriteCheckBox(bool checked)
{
    return checked ? "1" : "0";
}

std::string TrustedCertificateKey(std::string_view host, std::int32_t port)
{
    std::string key = "Trusted Certificate ";
    for (const char c : host) {
        key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return key + ", Port " + std::to_string(port);
}

std::string NetworkSection(std::string_view name)
{
    return "Network " + std::string(name);
}

std::string NetworkPasswordKey(std::string_view name)
{
    return NetworkSection(name) + " Password";
}

std::string StsPolicyKey(std::string_view host)
{
    std::string key = "STS ";
    for (const char c : host) {
        key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return key;
}

bool IsFirstUse(std::string_view stored)
{
    return stored != "0";
}

namespace {

// A stored number may stand between blanks, as a hand-edited file has it.
std::string_view WithoutBlanks(std::string_view stored)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!stored.empty() && blank(stored.front())) {
        stored.remove_prefix(1);
    }
    while (!stored.empty() && blank(stored.back())) {
        stored.remove_suffix(1);
    }
    return stored;
}

} // namespace

std::int64_t ReadScrollbackLines(std::string_view stored)
{
    stored = WithoutBlanks(stored);
    std::int64_t lines = 0;
    const char* end = stored.data() + stored.size();
    const auto [last, error] = std::from_chars(stored.data(), end, lines);
    if (stored.empty() || last != end) {
        return ScrollbackLinesDefault;
    }
    if (error == std::errc::result_out_of_range) {
        return stored.front() == '-' ? ScrollbackLinesMin : ScrollbackLinesMax;
    }
    if (error != std::errc{}) {
        return ScrollbackLinesDefault;
    }
    return std::clamp(lines, ScrollbackLinesMin, ScrollbackLinesMax);
}

std::int64_t ReadHistoryLines(std::string_view stored)
{
    stored = WithoutBlanks(stored);
    std::int64_t lines = 0;
    const char* end = stored.data() + stored.size();
    const auto [last, error] = std::from_chars(stored.data(), end, lines);
    if (stored.empty() || last != end || error != std::errc{} || lines < 0) {
        return HistoryLinesDefault;
    }
    return std::min(lines, HistoryLinesMax);
}

} // namespace settings
} // namespace tellix
