#pragma once

#include "windows/TextBuffer.h"

#include <absl/container/flat_hash_set.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// The entries of a window's nick list: texts in list order, compared exactly. Finding a
// nick answers what a scan from the top would, the first equal entry, without the scan: a
// names reply fills a list by the ten thousand. Entries are kept in place, no object each:
// the texts sit end to end in one buffer, and a slot is four numbers.
//
// Entries live in slots in list order; a removed entry leaves a gap. Once there are gaps, a
// Fenwick tree over the live slots turns slots into positions and back in O(log n), and the
// gaps are squeezed out when they outnumber the entries. Entries of one text are chained in
// slot order, and the index holds the first of each chain; it is made at the first lookup,
// so a list that is only filled and shown never pays for it.
class NickList {
public:
    NickList();
    NickList(const NickList&) = delete;
    NickList& operator=(const NickList&) = delete;

    std::int32_t Count() const { return live_; }
    // Positions from 0, as the list box counts them. The text stays valid until the list
    // next changes.
    std::string_view Item(std::int32_t position) const;
    // The first position holding exactly `nick`, or -1.
    std::int32_t Find(std::string_view nick);
    void Append(std::string_view nick);
    // Appends unless the nick is listed already; false when it was. `hash` is the nick's
    // ExactText hash, when the caller has it at hand.
    bool AppendIfAbsent(std::string_view nick);
    bool AppendIfAbsent(std::string_view nick, std::uint32_t hash);
    // Appends a nick the caller knows is not listed. A list filled this way stays without
    // an index until its first lookup, as a list filled by Append does.
    void AppendNew(std::string_view nick, std::uint32_t hash);
    void Replace(std::int32_t position, std::string_view nick);
    void RemoveAt(std::int32_t position);
    // Removes the entry at `position` if it holds exactly `nick`, whose hash is `hash`;
    // whether it did.
    bool RemoveAtIfHolds(std::int32_t position, std::string_view nick, std::uint32_t hash);
    // Removes the first entry holding exactly `nick`; its position, or -1 when there is none.
    std::int32_t RemoveFirst(std::string_view nick);
    void Clear();
    void Reserve(std::int32_t count);

private:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};
    static constexpr std::uint32_t kRemoved = std::uint32_t{1} << 31;

    struct Slot {
        std::uint32_t offset;       // in bytes_
        std::uint32_t length;       // kRemoved set once removed
        std::uint32_t hash;         // the text's, or 0 until the index is made
        std::uint32_t next = kNone; // the next slot with the same text
    };
    struct Key {
        std::string_view text;
        std::uint32_t hash;
    };
    // An index entry: the text's hash above the slot, so that growing the index never has to
    // visit the slots.
    static std::uint64_t Head(std::uint32_t hash, std::uint32_t slot)
    {
        return (std::uint64_t{hash} << 32) | slot;
    }
    static std::uint32_t SlotOf(std::uint64_t head) { return static_cast<std::uint32_t>(head); }
    struct HeadHash {
        using is_transparent = void;
        std::size_t operator()(std::uint64_t head) const { return static_cast<std::size_t>(head >> 32); }
        std::size_t operator()(const Key& key) const { return key.hash; }
    };
    struct HeadEq {
        using is_transparent = void;
        const NickList* list;
        bool operator()(std::uint64_t a, std::uint64_t b) const { return a == b; }
        bool operator()(std::uint64_t head, const Key& key) const
        {
            return (head >> 32) == key.hash && list->Text(list->slots_[SlotOf(head)]) == key.text;
        }
        bool operator()(const Key& key, std::uint64_t head) const { return (*this)(head, key); }
    };

    static std::uint32_t Hash(std::string_view text);
    std::string_view Text(const Slot& slot) const
    {
        return std::string_view(bytes_).substr(slot.offset, slot.length & ~kRemoved);
    }
    static bool Live(const Slot& slot) { return (slot.length & kRemoved) == 0; }
    // Most of the text buffer is texts no entry holds any more: time to compact.
    bool TextMostlyDead() const { return garbage_ > 4096 && garbage_ > bytes_.size() / 2; }
    Slot Stored(std::string_view nick, std::uint32_t hash);
    std::uint32_t FirstSlot(std::string_view text, std::uint32_t hash) const;
    std::uint32_t PushSlot(std::string_view nick, std::uint32_t hash);
    void AppendSlot(std::string_view nick, std::uint32_t hash, std::uint32_t head);
    void EnsureIndexed();
    void Link(std::uint32_t slot);
    void Unlink(std::uint32_t slot);
    std::uint32_t SlotAt(std::int32_t position) const;
    std::int32_t PositionOf(std::uint32_t slot) const;
    // Out of the index, when there is one, and out of the list.
    void RemoveSlot(std::uint32_t slot);
    void DropSlot(std::uint32_t slot);
    void Compact();

    TextBuffer bytes_;
    std::size_t garbage_ = 0; // bytes of removed or replaced texts
    std::vector<Slot> slots_;
    std::vector<std::int32_t> tree_; // live slots counted; empty while there are no gaps
    absl::flat_hash_set<std::uint64_t, HeadHash, HeadEq> heads_;
    std::int32_t live_ = 0;
    bool indexed_ = false; // the index is made at the first lookup
};

} // namespace tellix
