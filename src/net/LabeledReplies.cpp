#include "net/LabeledReplies.h"

#include "net/ServerLine.h"
#include "util/Concat.h"

namespace tellix {

std::string LabeledReplies::Start(std::string asker)
{
    std::string label = Concat("t", ++next_);
    // The oldest unanswered label goes first; its order entries may outlive it, so the order
    // is trimmed too, and an entry already taken costs nothing.
    while (pending_.size() >= kMostPending && !pendingOrder_.empty()) {
        pending_.erase(pendingOrder_.front());
        pendingOrder_.pop_front();
    }
    if (pendingOrder_.size() >= 2 * kMostPending) {
        std::erase_if(pendingOrder_, [this](const std::string& kept) { return !pending_.contains(kept); });
    }
    pending_.emplace(label, std::move(asker));
    pendingOrder_.push_back(label);
    return label;
}

std::optional<std::string> LabeledReplies::Take(const std::string& label)
{
    const auto found = pending_.find(label);
    if (found == pending_.end()) {
        return std::nullopt;
    }
    std::string asker = std::move(found->second);
    pending_.erase(found);
    return asker;
}

void LabeledReplies::OpenBatch(std::string_view reference, std::string asker)
{
    if (reference.empty()) {
        return;
    }
    while (batches_.size() >= kMostBatches && !batchOrder_.empty()) {
        batches_.erase(batchOrder_.front());
        batchOrder_.pop_front();
    }
    if (batchOrder_.size() >= 2 * kMostBatches) {
        std::erase_if(batchOrder_, [this](const std::string& kept) { return !batches_.contains(kept); });
    }
    const auto [at, added] = batches_.insert_or_assign(std::string(reference), std::move(asker));
    if (added) {
        batchOrder_.push_back(at->first);
    }
}

std::optional<std::string> LabeledReplies::Hear(const ServerLine& line)
{
    // Nothing asked: every line goes by at the cost of one test.
    if (pending_.empty() && batches_.empty()) {
        return std::nullopt;
    }
    // A batch's end comes without tags.
    const bool tagged = !line.Tags().empty();
    const std::optional<std::string> label = tagged && !pending_.empty() ? line.Tag("label") : std::nullopt;
    const std::optional<std::string> batch = tagged && !batches_.empty() ? line.Tag("batch") : std::nullopt;
    std::optional<std::string> asker;
    if (label) {
        asker = Take(*label);
    } else if (batch) {
        // Inside a batch that answers someone, nested batches included.
        if (const auto found = batches_.find(*batch); found != batches_.end()) {
            asker = found->second;
        }
    }
    if (line.Command() == "BATCH") {
        const std::string_view reference = line.Target();
        if (reference.starts_with('+') && asker) {
            OpenBatch(reference.substr(1), *asker);
        } else if (reference.starts_with('-')) {
            if (const auto found = batches_.find(std::string(reference.substr(1))); found != batches_.end()) {
                asker = std::move(found->second);
                batches_.erase(found);
            }
        }
    }
    return asker;
}

void LabeledReplies::Reset()
{
    pending_.clear();
    pendingOrder_.clear();
    batches_.clear();
    batchOrder_.clear();
}

} // namespace tellix
