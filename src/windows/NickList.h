#pragma once

#include "util/Collection.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    // Appends unless the nick is listed already; false when it was.
    bool AppendIfAbsent(std::string_view nick);
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
        using Collection::AppendUnnamed;
        using Collection::FindFirst;
        using Collection::Renamed;
    };

    std::shared_ptr<Entry> Make(std::string_view nick);
    void Release(std::int32_t position);

    // Entries come and go by the ten thousand, so they live in slabs and are reused, and
    // the collection's references to them share one owner instead of a block each.
    std::deque<Entry> slabs_;
    std::vector<Entry*> unused_;
    std::shared_ptr<void> owner_ = std::make_shared<char>();
    Entries entries_;
};

} // namespace tellix
