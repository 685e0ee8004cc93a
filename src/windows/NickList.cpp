#include "windows/NickList.h"

#include "util/Collection.h"
#include "util/CoreError.h"

#include <bit>
#include <utility>

namespace tellix {

namespace {

std::size_t LowBit(std::size_t i)
{
    return i & (~i + 1);
}

} // namespace

NickList::NickList() : heads_(0, HeadHash{}, HeadEq{this}) {}

std::uint32_t NickList::Hash(std::string_view text)
{
    return ExactText::Hash(text);
}

std::string_view NickList::Item(std::int32_t position) const
{
    if (position < 0 || position >= live_) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    return Text(slots_[SlotAt(position)]);
}

NickList::Slot NickList::Stored(std::string_view nick, std::uint32_t hash)
{
    const Slot slot{static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(nick.size()), hash};
    bytes_.append(nick);
    return slot;
}

std::uint32_t NickList::FirstSlot(std::string_view text, std::uint32_t hash) const
{
    const auto it = heads_.find(Key{text, hash});
    return it == heads_.end() ? kNone : SlotOf(*it);
}

std::int32_t NickList::Find(std::string_view nick)
{
    EnsureIndexed();
    const std::uint32_t slot = FirstSlot(nick, Hash(nick));
    return slot == kNone ? -1 : PositionOf(slot);
}

void NickList::Append(std::string_view nick)
{
    if (!indexed_) {
        PushSlot(nick, 0);
        return;
    }
    const std::uint32_t hash = Hash(nick);
    AppendSlot(nick, hash, FirstSlot(nick, hash));
}

bool NickList::AppendIfAbsent(std::string_view nick)
{
    return AppendIfAbsent(nick, Hash(nick));
}

bool NickList::AppendIfAbsent(std::string_view nick, std::uint32_t hash)
{
    EnsureIndexed();
    // One probe finds the nick or the place its head goes.
    const auto slot = static_cast<std::uint32_t>(slots_.size());
    bool absent = false;
    heads_.lazy_emplace(Key{nick, hash}, [&](const auto& construct) {
        absent = true;
        construct(Head(hash, slot));
    });
    if (absent) {
        PushSlot(nick, hash);
    }
    return absent;
}

void NickList::AppendNew(std::string_view nick, std::uint32_t hash)
{
    const std::uint32_t slot = PushSlot(nick, hash);
    if (indexed_) {
        heads_.insert(Head(hash, slot));
    }
}

std::uint32_t NickList::PushSlot(std::string_view nick, std::uint32_t hash)
{
    const auto slot = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back(Stored(nick, hash));
    if (!tree_.empty()) {
        const std::size_t i = slots_.size();
        // The new node covers the slots from i - LowBit(i) + 1 to i; only the last is new.
        std::int32_t covered = 1;
        for (std::size_t j = i - 1; j > i - LowBit(i); j -= LowBit(j)) {
            covered += tree_[j - 1];
        }
        tree_.push_back(covered);
    }
    ++live_;
    return slot;
}

// `head` is the first slot holding the same text, or kNone: the new slot, the last of all,
// goes to the end of its chain or starts one.
void NickList::AppendSlot(std::string_view nick, std::uint32_t hash, std::uint32_t head)
{
    const std::uint32_t slot = PushSlot(nick, hash);
    if (head == kNone) {
        heads_.insert(Head(hash, slot));
        return;
    }
    std::uint32_t at = head;
    while (slots_[at].next != kNone) {
        at = slots_[at].next;
    }
    slots_[at].next = slot;
}

// A list that is only filled and shown, as the status window's is, never pays for an index.
void NickList::EnsureIndexed()
{
    if (indexed_) {
        return;
    }
    indexed_ = true;
    heads_.reserve(static_cast<std::size_t>(live_));
    for (std::uint32_t slot = 0; slot < slots_.size(); ++slot) {
        if (Live(slots_[slot])) {
            slots_[slot].hash = Hash(Text(slots_[slot]));
            Link(slot);
        }
    }
}

void NickList::Replace(std::int32_t position, std::string_view nick)
{
    if (position < 0 || position >= live_) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    const std::uint32_t slot = SlotAt(position);
    if (indexed_) {
        Unlink(slot);
    }
    garbage_ += slots_[slot].length;
    const std::uint32_t next = slots_[slot].next;
    slots_[slot] = Stored(nick, indexed_ ? Hash(nick) : 0);
    slots_[slot].next = next;
    if (indexed_) {
        Link(slot);
    }
    if (TextMostlyDead()) {
        Compact();
    }
}

void NickList::RemoveAt(std::int32_t position)
{
    if (position < 0 || position >= live_) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    RemoveSlot(SlotAt(position));
}

bool NickList::RemoveAtIfHolds(std::int32_t position, std::string_view nick, std::uint32_t hash)
{
    if (position < 0 || position >= live_) {
        return false;
    }
    const std::uint32_t slot = SlotAt(position);
    // A slot keeps its text's hash once known (0 until then): comparing hashes spares a
    // netsplit a visit to every departing nick's text.
    const Slot& entry = slots_[slot];
    const bool holds =
        (entry.length & ~kRemoved) == nick.size() && (entry.hash != 0 ? entry.hash == hash : Text(entry) == nick);
    if (!holds) {
        return false;
    }
    RemoveSlot(slot);
    return true;
}

void NickList::RemoveSlot(std::uint32_t slot)
{
    if (indexed_) {
        Unlink(slot);
    }
    DropSlot(slot);
}

// One lookup finds the entry, its position and its place in the index.
std::int32_t NickList::RemoveFirst(std::string_view nick)
{
    EnsureIndexed();
    const std::uint32_t hash = Hash(nick);
    const auto it = heads_.find(Key{nick, hash});
    if (it == heads_.end()) {
        return -1;
    }
    const std::uint32_t slot = SlotOf(*it);
    const std::int32_t position = PositionOf(slot);
    heads_.erase(it);
    if (const std::uint32_t next = std::exchange(slots_[slot].next, kNone); next != kNone) {
        heads_.insert(Head(hash, next));
    }
    DropSlot(slot);
    return position;
}

void NickList::DropSlot(std::uint32_t slot)
{
    --live_;
    garbage_ += slots_[slot].length;
    if (slot + 1 == slots_.size()) {
        // The last slot: no position before it moves, and trailing gaps go with it.
        do {
            slots_.pop_back();
            if (!tree_.empty()) {
                tree_.pop_back();
            }
        } while (!slots_.empty() && !Live(slots_.back()));
        if (slots_.size() == static_cast<std::size_t>(live_)) {
            tree_.clear();
        }
        if (slots_.empty()) {
            bytes_.clear();
            garbage_ = 0;
        } else if (TextMostlyDead()) {
            Compact();
        }
        return;
    }
    slots_[slot].length |= kRemoved;
    if (tree_.empty()) {
        tree_.assign(slots_.size(), 1);
        for (std::size_t i = 1; i <= tree_.size(); ++i) {
            if (const std::size_t parent = i + LowBit(i); parent <= tree_.size()) {
                tree_[parent - 1] += tree_[i - 1];
            }
        }
    }
    for (std::size_t i = slot + 1; i <= tree_.size(); i += LowBit(i)) {
        --tree_[i - 1];
    }
    if ((slots_.size() > 32 && slots_.size() - static_cast<std::size_t>(live_) > slots_.size() / 2) ||
        TextMostlyDead()) {
        Compact();
    }
}

void NickList::Clear()
{
    bytes_.clear();
    garbage_ = 0;
    heads_.clear();
    indexed_ = false;
    slots_.clear();
    tree_.clear();
    live_ = 0;
}

void NickList::Reserve(std::int32_t count)
{
    slots_.reserve(static_cast<std::size_t>(count));
    if (indexed_) {
        heads_.reserve(static_cast<std::size_t>(count));
    }
}

// Chains keep their slots in order, so the head is always the first by position.
void NickList::Link(std::uint32_t slot)
{
    Slot& added = slots_[slot];
    added.next = kNone;
    const auto it = heads_.find(Key{Text(added), added.hash});
    if (it == heads_.end()) {
        heads_.insert(Head(added.hash, slot));
        return;
    }
    const std::uint32_t head = SlotOf(*it);
    if (slot < head) {
        heads_.erase(it);
        added.next = head;
        heads_.insert(Head(added.hash, slot));
        return;
    }
    std::uint32_t at = head;
    while (slots_[at].next != kNone && slots_[at].next < slot) {
        at = slots_[at].next;
    }
    added.next = slots_[at].next;
    slots_[at].next = slot;
}

void NickList::Unlink(std::uint32_t slot)
{
    Slot& leaving = slots_[slot];
    const auto it = heads_.find(Key{Text(leaving), leaving.hash});
    if (SlotOf(*it) == slot) {
        heads_.erase(it);
        if (leaving.next != kNone) {
            heads_.insert(Head(leaving.hash, leaving.next));
        }
    } else {
        std::uint32_t at = SlotOf(*it);
        while (slots_[at].next != slot) {
            at = slots_[at].next;
        }
        slots_[at].next = leaving.next;
    }
    leaving.next = kNone;
}

std::uint32_t NickList::SlotAt(std::int32_t position) const
{
    if (tree_.empty()) {
        return static_cast<std::uint32_t>(position);
    }
    std::size_t slot = 0;
    auto remaining = static_cast<std::int32_t>(position + 1);
    for (std::size_t step = std::bit_floor(tree_.size()); step > 0; step /= 2) {
        if (const std::size_t next = slot + step; next <= tree_.size() && tree_[next - 1] < remaining) {
            slot = next;
            remaining -= tree_[next - 1];
        }
    }
    return static_cast<std::uint32_t>(slot);
}

std::int32_t NickList::PositionOf(std::uint32_t slot) const
{
    if (tree_.empty()) {
        return static_cast<std::int32_t>(slot);
    }
    std::int32_t before = 0;
    for (std::size_t n = slot; n > 0; n -= LowBit(n)) {
        before += tree_[n - 1];
    }
    return before;
}

// Squeezes out the gaps and the texts no entry holds any more.
void NickList::Compact()
{
    std::vector<Slot> kept;
    kept.reserve(static_cast<std::size_t>(live_));
    TextBuffer text;
    text.reserve(bytes_.size() - garbage_);
    for (const Slot& slot : slots_) {
        if (Live(slot)) {
            kept.push_back(Slot{static_cast<std::uint32_t>(text.size()), slot.length, slot.hash});
            text.append(Text(slot));
        }
    }
    slots_.swap(kept);
    bytes_.swap(text);
    garbage_ = 0;
    tree_.clear();
    heads_.clear();
    if (indexed_) {
        for (std::uint32_t slot = 0; slot < slots_.size(); ++slot) {
            Link(slot);
        }
    }
}

} // namespace tellix
