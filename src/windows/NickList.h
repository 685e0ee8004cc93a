#pragma once

#include "util/Collection.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

// The entries of a window's nick list: texts in list order, compared exactly. Finding a
// nick answers what a scan from the top would, the first equal entry, without the scan:
// a names reply fills a list by the ten thousand.
class NickList {
public:
    std::int32_t Count() const { return entries_.Count(); }
    // Positions from 0, as the list box counts them.
    const std::string& Item(std::int32_t position) const { return entries_.Item(position + 1)->text; }
    // The first position holding exactly `nick`, or -1.
    std::int32_t Find(std::string_view nick) const;
    void Append(std::string_view nick);
    void Replace(std::int32_t position, std::string_view nick);
    void RemoveAt(std::int32_t position);
    void Clear();

private:
    struct Entry {
        std::string text;
    };
    struct EntryNaming : ExactText {
        static std::string_view Name(const Entry& entry) { return entry.text; }
    };
    struct Entries : Collection<Entry, EntryNaming> {
        using Collection::Append;
        using Collection::FindFirst;
        using Collection::Renamed;
    };

    Entries entries_;
};

} // namespace tellix
