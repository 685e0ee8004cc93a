#include "windows/NickList.h"

namespace tellix {

std::int32_t NickList::Find(std::string_view nick) const
{
    const Entry* entry = entries_.FindFirst(nick);
    return entry == nullptr ? -1 : entries_.PositionOf(*entry) - 1;
}

void NickList::Append(std::string_view nick)
{
    entries_.Append(std::make_shared<Entry>(Entry{std::string(nick)}));
}

void NickList::Replace(std::int32_t position, std::string_view nick)
{
    Entry& entry = *entries_.Item(position + 1);
    std::string previous = std::exchange(entry.text, std::string(nick));
    entries_.Renamed(entry, previous);
}

void NickList::RemoveAt(std::int32_t position)
{
    entries_.RemoveAt(position + 1);
}

void NickList::Clear()
{
    // Last first: no gaps to count around while the list empties.
    for (std::int32_t position = entries_.Count(); position >= 1; --position) {
        entries_.RemoveAt(position);
    }
}

} // namespace tellix
