#pragma once

#include "util/Event.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tellix {

// A window listing the server's channels as /LIST answers: one row per channel with its
// user count and topic (bytes as received). Choosing a row asks to join it.
class ChannelListView {
public:
    virtual ~ChannelListView() = default;

    // A new listing begins: the rows go and the window comes up.
    virtual void Begin() = 0;
    virtual void AddChannel(std::string_view name, std::uint64_t users, std::string_view topic) = 0;
    // The listing is complete.
    virtual void End() = 0;

    struct EventSet {
        Event<const std::string&> Join; // the channel's name
    } Events;
};

} // namespace tellix
