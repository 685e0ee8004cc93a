#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tellix {

class ServerLine;

// Which command a reply answers, where the server labels them (labeled-response): a label goes
// out with a command the user typed, and the reply carrying it - one line, an ACK, or a batch
// opened with it - belongs to whoever asked. Labels the server makes up, or repeats once their
// reply is complete, belong to no one. A server that never answers leaves at most a bounded
// number of labels and batches behind.
class LabeledReplies {
public:
    // The label for a command asked by `asker` (a window's key).
    std::string Start(std::string asker);
    // Reads one received line, in order: the asker of the reply it is part of, or nothing.
    std::optional<std::string> Hear(const ServerLine& line);
    // The link is gone: no reply will come.
    void Reset();

    std::size_t Waiting() const { return pending_.size(); }
    std::size_t OpenBatches() const { return batches_.size(); }

    static constexpr std::size_t kMostPending = 64;
    static constexpr std::size_t kMostBatches = 16;

private:
    std::optional<std::string> Take(const std::string& label);
    void OpenBatch(std::string_view reference, std::string asker);

    std::uint64_t next_ = 0;
    std::unordered_map<std::string, std::string> pending_; // label -> asker
    std::deque<std::string> pendingOrder_;                 // oldest first; may name labels taken
    std::unordered_map<std::string, std::string> batches_; // batch reference -> asker
    std::deque<std::string> batchOrder_;
};

} // namespace tellix
