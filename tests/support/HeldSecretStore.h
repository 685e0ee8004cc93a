#pragma once

#include "platform/SecretStore.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tellix::test {

// A secret store that answers when the test says so, as the desktop's answers come later.
// While it is not running every read finds nothing and every write is refused.
struct HeldSecretStore final : SecretStore {
    std::map<std::string, std::string> entries;
    bool running = true;
    std::vector<std::function<void()>> pending;

    void Read(const std::string& key, ReadDone done) override
    {
        pending.push_back([this, key, done = std::move(done)] {
            const auto entry = entries.find(key);
            done(running && entry != entries.end() ? std::optional(entry->second) : std::nullopt);
        });
    }
    void Write(const std::string& key, const std::string& secret, WriteDone done) override
    {
        pending.push_back([this, key, secret, done = std::move(done)] {
            if (running && secret.empty()) {
                entries.erase(key);
            } else if (running) {
                entries[key] = secret;
            }
            done(running);
        });
    }
    // Answers everything asked so far, in order; what the answers ask waits for the next call.
    void Answer()
    {
        const auto now = std::move(pending);
        pending.clear();
        for (const auto& answer : now) {
            answer();
        }
    }
    // Answers until nothing more is asked.
    void AnswerAll()
    {
        while (!pending.empty()) {
            Answer();
        }
    }
};

} // namespace tellix::test
