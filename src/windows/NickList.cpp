#include "windows/NickList.h"

namespace tellix {

std::int32_t NickList::Find(std::string_view nick) const
{
    const Entry* entry = entries_.FindFirst(nick);
    return entry == nullptr ? -1 : entries_.PositionOf(*entry) - 1;
}

std::shared_ptr<NickList::Entry> NickList::Make(std::string_view nick)
{
    Entry* entry = nullptr;
    if (unused_.empty()) {
        entry = &slabs_.emplace_back(Entry{std::string(nick)});
    } else {
        entry = unused_.back();
        unused_.pop_back();
        entry->text.assign(nick);
    }
    return std::shared_ptr<Entry>(owner_, entry);
}

void NickList::Append(std::string_view nick)
{
    entries_.Append(Make(nick));
}

bool NickList::AppendIfAbsent(std::string_view nick)
{
    if (entries_.FindFirst(nick) != nullptr) {
        return false;
    }
    entries_.AppendUnnamed(Make(nick));
    return true;
}

void NickList::Replace(std::int32_t position, std::string_view nick)
{
    Entry& entry = *entries_.Item(position + 1);
    const std::string previous = std::exchange(entry.text, std::string(nick));
    entries_.Renamed(entry, previous);
}

void NickList::RemoveAt(std::int32_t position)
{
    Release(position + 1);
}

void NickList::Release(std::int32_t position)
{
    Entry* const entry = entries_.Item(position).get();
    entries_.RemoveAt(position);
    unused_.push_back(entry);
}

void NickList::Clear()
{
    // Last first: no gaps to count around while the list empties.
    for (std::int32_t position = entries_.Count(); position >= 1; --position) {
        entries_.RemoveAt(position);
    }
    unused_.clear();
    slabs_.clear();
}

} // namespace tellix
