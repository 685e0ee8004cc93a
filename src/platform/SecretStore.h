#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tellix {

// The desktop's store for secrets, asked without waiting: an answer comes later from the
// event loop, or never if the program ends first.
class SecretStore {
public:
    // The secret, or none when there is no such entry or no store answers.
    using ReadDone = std::function<void(std::optional<std::string> secret)>;
    // False when no store took it: the caller decides where else it may go.
    using WriteDone = std::function<void(bool stored)>;

    virtual ~SecretStore() = default;
    virtual void Read(const std::string& key, ReadDone done) = 0;
    // An empty secret removes the entry.
    virtual void Write(const std::string& key, const std::string& secret, WriteDone done) = 0;
};

} // namespace tellix
