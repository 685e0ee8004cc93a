#pragma once

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace tellix {

// What a window holds already, so that a line played back again (a bouncer's playback, fetched
// history) shows once: the lines it shows and those its log held as it opened, by their
// second and text as the log keeps it, and by msgid where they had one. Only the newest few
// thousand are remembered: a playback reaches back no further, and a window that ran for
// weeks costs no more.
class SeenLines {
public:
    static constexpr std::size_t kKept = 4096;

    // Whether the window holds the line already; if not, it holds it from now on.
    //
    // A line played back (`replay` not 0, one number per playback) is held by its msgid, or
    // when the window holds more lines of its second and text than this playback brought so
    // far (of those without a msgid, for a line that has one: two msgids tell two lines
    // apart): a line said twice in one second shows twice, a playback repeated shows nothing
    // twice. A line not played back is held by its msgid; one stamped with a time (`timed`),
    // as a server without batches plays back, also when the log held it as the window opened,
    // each logged line matching once.
    bool SeenBefore(std::int64_t second, std::string_view text, std::string_view msgid, std::uint64_t replay,
                    bool timed);
    // A line the log held as the window opened.
    void NoteLogged(std::int64_t second, std::string_view text);

    // The second and text as one number; the text as a window shows it or as the log keeps it.
    static std::uint64_t KeyOf(std::int64_t second, std::string_view text);

private:
    struct Count {
        std::int32_t held = 0;
        std::int32_t anonymous = 0; // of those, without a msgid
        std::int32_t logged = 0;    // of those, from the log and not matched yet
        std::uint64_t replay = 0;   // the playback `seen` counts for
        std::int32_t base = 0;      // held when that playback began
        std::int32_t seen = 0;
    };
    struct Slot {
        std::uint64_t key = 0;
        std::uint64_t msgid = 0; // its hash, 0 for none
        bool logged = false;
    };
    void Keep(std::uint64_t key, std::uint64_t msgid, bool logged);

    absl::flat_hash_map<std::uint64_t, Count> keys_;
    absl::flat_hash_set<std::uint64_t> msgids_;
    // The lines held, oldest first once full.
    std::vector<Slot> ring_;
    std::size_t next_ = 0;
};

} // namespace tellix
