#pragma once

#include "net/SavedLogin.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

// The strict transport security servers declare in their "sts" capability. Said over TLS with a
// duration, it binds the host: until the policy ends the host is reached over TLS only, on the
// port it was said on. Said in plain text with a port, it asks the client to leave for TLS on
// that port at once. The value is network input: read in one pass, only its numbers trusted.
class StsPolicy {
public:
    // Where the policies are kept, one text per host (lower case); empty for none. The settings
    // file in the program.
    struct Store {
        std::function<std::string(const std::string& host)> read;
        std::function<void(const std::string& host, const std::string& value)> write;
    };
    // The wall clock, in seconds since 1970.
    using Clock = std::function<std::int64_t()>;

    // The keys of an sts value this client knows, each only when it is valid.
    struct Value {
        std::optional<std::int32_t> port;     // 1 to 65535
        std::optional<std::int64_t> duration; // seconds; one too large to count is the longest there is
    };
    // "port=6697,duration=300": tokens cut at commas, "key=value" each; keys not known are
    // skipped, and of a key given twice the first counts.
    static Value Parse(std::string_view value);
    // The sts value in a list of capabilities ("multi-prefix sts=port=6697 sasl"), or nothing.
    static std::optional<std::string_view> FindIn(std::string_view capabilities);
    // Where a plain-text session that heard `value` must go instead: the TLS port it names.
    static std::optional<std::int32_t> UpgradePort(std::string_view value) { return Parse(value).port; }

    StsPolicy(Store store, Clock now);

    // Heard over TLS on `host` and `port`: a duration sets the policy (or counts it again from
    // now), 0 ends it; a value without a valid duration changes nothing.
    void Heard(std::string_view host, std::int32_t port, std::string_view value);
    // The TLS port `host` must be reached on while its policy lasts; nothing without one.
    std::optional<std::int32_t> SecurePort(std::string_view host) const;
    // A plain place whose host has a policy moves to TLS on the policy's port; true when it
    // moved. A TLS place stays as given, its port too.
    bool Route(ServerPlace& place) const;

private:
    Store store_;
    Clock now_;
};

} // namespace tellix
