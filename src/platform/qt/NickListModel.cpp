#include "platform/qt/NickListModel.h"

#include "platform/qt/TextDecoding.h"

#include <QTimer>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace tellix {

namespace {

std::size_t LowBit(std::size_t i)
{
    return i & (~i + 1);
}

// A row's place in the ranked order as far as two numbers tell it.
struct SortKey {
    std::uint64_t high; // the rank, then the first seven folded bytes
    std::uint64_t low;  // the next eight
    std::uint32_t slot;
};

// One stable pass of a radix sort on the byte at `shift` of one of the two numbers.
template <bool Low> void RadixPass(std::vector<SortKey>& keys, std::vector<SortKey>& spare, unsigned shift)
{
    const auto digit = [shift](const SortKey& key) {
        return static_cast<std::size_t>(((Low ? key.low : key.high) >> shift) & 0xFFU);
    };
    std::array<std::uint32_t, 256> starts{};
    for (const SortKey& key : keys) {
        ++starts[digit(key)];
    }
    std::uint32_t next = 0;
    for (std::uint32_t& start : starts) {
        next += std::exchange(start, next);
    }
    for (const SortKey& key : keys) {
        spare[starts[digit(key)]++] = key;
    }
    keys.swap(spare);
}

std::uint64_t BigEndian(const unsigned char* bytes)
{
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return word;
}

} // namespace

NickListModel::NickListModel(QObject* parent) : QAbstractListModel(parent) {}

QModelIndex NickListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || static_cast<std::size_t>(row) >= rows_) {
        return {};
    }
    return createIndex(row, column);
}

int NickListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_);
}

QVariant NickListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= rows_) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const Entry& entry = entries_[SlotOfRow(index.row())];
        QString shown = DecodeForDisplay(Text(entry));
        if (role == Qt::DisplayRole && entry.symbol != '\0') {
            shown.prepend(QLatin1Char(entry.symbol));
        }
        return shown;
    }
    if (role == AwayRole) {
        return entries_[SlotOfRow(index.row())].away;
    }
    return {};
}

void NickListModel::Clear()
{
    beginResetModel();
    bytes_.clear();
    garbage_ = 0;
    entries_.clear();
    published_ = 0;
    removed_ = 0;
    tree_.clear();
    rows_ = 0;
    ops_ = 0;
    order_.clear();
    endResetModel();
}

void NickListModel::Append(std::string_view nick)
{
    entries_.push_back(Entry{static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(nick.size())});
    bytes_.append(nick);
    if (!tree_.empty()) {
        const std::size_t i = entries_.size();
        // The new node covers the entries from i - LowBit(i) + 1 to i; only the last is new.
        std::int32_t covered = 1;
        for (std::size_t j = i - 1; j > i - LowBit(i); j -= LowBit(j)) {
            covered += tree_[j - 1];
        }
        tree_.push_back(covered);
    }
    PostSettle();
}

void NickListModel::Replace(std::int32_t position, std::string_view nick)
{
    const std::size_t slot = SlotAt(position);
    const std::size_t row = ranked_ && slot < published_ ? RowOfSlot(slot) : slot;
    Entry& entry = entries_[slot];
    garbage_ += entry.length;
    entry.offset = static_cast<std::uint32_t>(bytes_.size());
    entry.length = static_cast<std::uint32_t>(nick.size());
    bytes_.append(nick);
    if (slot < published_) {
        // Unranked, rows are entries until the settling.
        const QModelIndex changed = index(static_cast<int>(row));
        Q_EMIT dataChanged(changed, changed);
        if (ranked_) {
            Reposition(row);
        }
    }
    if (garbage_ > bytes_.size() / 2) {
        PostSettle();
    }
}

void NickListModel::Remove(std::int32_t position)
{
    const std::size_t slot = SlotAt(position);
    if (tree_.empty()) {
        // Every entry counts one: node i covers LowBit(i) of them.
        tree_.resize(entries_.size());
        for (std::size_t i = 1; i <= tree_.size(); ++i) {
            tree_[i - 1] = static_cast<std::int32_t>(LowBit(i));
        }
    }
    for (std::size_t i = slot + 1; i <= tree_.size(); i += LowBit(i)) {
        --tree_[i - 1];
    }
    garbage_ += entries_[slot].length;
    entries_[slot].length |= kRemoved;
    ops_ -= entries_[slot].op ? 1 : 0;
    ++removed_;
    PostSettle();
}

void NickListModel::Settle()
{
    settlePosted_ = false;
    if (ranked_) {
        if (removed_ > 0) {
            CloseGapsRanked();
        }
        if (published_ < entries_.size()) {
            PublishRanked();
        }
        if (garbage_ > bytes_.size() / 2) {
            CompactBytes();
        }
        return;
    }
    if (removed_ > 0) {
        CloseGaps();
    }
    if (published_ == 0 && entries_.size() > 1) {
        // A names reply into an empty list: a reset lets a sorting view sort once, where an
        // insertion makes it place every row on its own.
        beginResetModel();
        published_ = entries_.size();
        rows_ = published_;
        endResetModel();
    } else if (published_ < entries_.size()) {
        beginInsertRows(QModelIndex(), static_cast<int>(published_), static_cast<int>(entries_.size()) - 1);
        published_ = entries_.size();
        rows_ = published_;
        endInsertRows();
    }
    if (garbage_ > bytes_.size() / 2) {
        CompactBytes();
    }
}

void NickListModel::Rank(std::int32_t position, std::int32_t rank, char symbol, bool op)
{
    std::size_t slot = SlotAt(position);
    if (ranked_) {
        // Found by its old key, then moved by its new one: no settling needed.
        const std::size_t row = slot < published_ ? RowOfSlot(slot) : 0;
        Entry& entry = entries_[slot];
        ops_ += (op ? 1 : 0) - (entry.op ? 1 : 0);
        entry.rank = static_cast<std::uint8_t>(std::clamp<std::int32_t>(rank, 0, RankTable::kMaxRanks));
        entry.symbol = symbol;
        entry.op = op;
        if (slot < published_) {
            const QModelIndex changed = index(static_cast<int>(row));
            Q_EMIT dataChanged(changed, changed);
            Reposition(row);
        }
        return;
    }
    if (slot < published_ && (removed_ > 0 || published_ < entries_.size())) {
        // Rows are entries again once settled; a mode change seldom meets a pending split.
        Settle();
        slot = SlotAt(position);
    }
    Entry& entry = entries_[slot];
    ops_ += (op ? 1 : 0) - (entry.op ? 1 : 0);
    entry.rank = static_cast<std::uint8_t>(std::clamp<std::int32_t>(rank, 0, RankTable::kMaxRanks));
    entry.symbol = symbol;
    entry.op = op;
    if (slot < published_) {
        const QModelIndex changed = index(static_cast<int>(slot));
        Q_EMIT dataChanged(changed, changed);
    }
}

void NickListModel::Away(std::int32_t position, bool away)
{
    std::size_t slot = SlotAt(position);
    if (!ranked_ && slot < published_ && (removed_ > 0 || published_ < entries_.size())) {
        Settle(); // rows are entries again once settled
        slot = SlotAt(position);
    }
    Entry& entry = entries_[slot];
    if (entry.away == away) {
        return;
    }
    entry.away = away;
    if (slot < published_) {
        const QModelIndex changed = index(static_cast<int>(ranked_ ? RowOfSlot(slot) : slot));
        Q_EMIT dataChanged(changed, changed, {AwayRole});
    }
}

void NickListModel::SetCaseMapping(CaseMapping mapping)
{
    if (ranked_ && mapping == caseMapping_) {
        return;
    }
    caseMapping_ = mapping;
    ranked_ = true;
    Resort();
}

std::string NickListModel::NickAt(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= rows_) {
        return {};
    }
    return std::string(Text(entries_[SlotOfRow(row)]));
}

void NickListModel::PostSettle()
{
    if (!settlePosted_) {
        settlePosted_ = true;
        QTimer::singleShot(0, this, [this] { Settle(); });
    }
}

std::size_t NickListModel::SlotAt(std::int32_t position) const
{
    if (position < 0 ||
        static_cast<std::size_t>(position) >= entries_.size() - static_cast<std::size_t>(removed_)) {
        throw std::out_of_range("no such nick list position");
    }
    if (tree_.empty()) {
        return static_cast<std::size_t>(position);
    }
    std::size_t slot = 0;
    std::int32_t remaining = position + 1;
    for (std::size_t step = std::bit_floor(tree_.size()); step > 0; step /= 2) {
        if (const std::size_t next = slot + step; next <= tree_.size() && tree_[next - 1] < remaining) {
            slot = next;
            remaining -= tree_[next - 1];
        }
    }
    return slot;
}

std::size_t NickListModel::SlotOfRow(int row) const
{
    const auto at = static_cast<std::size_t>(row);
    if (ranked_) {
        return order_[at];
    }
    return at < gapRow_ ? at : at + gap_;
}

void NickListModel::CloseGaps()
{
    std::size_t runs = 0;
    for (std::size_t slot = 0; slot < published_ && runs <= kRowRuns; ++slot) {
        if (Removed(entries_[slot]) && (slot == 0 || !Removed(entries_[slot - 1]))) {
            ++runs;
        }
    }
    if (runs <= kRowRuns) {
        RemoveRunByRun();
    } else {
        RemoveInOneLayout();
    }
    // Appends the view has not been told of yet go without a word when removed.
    std::size_t write = published_;
    for (std::size_t read = write; read < entries_.size(); ++read) {
        if (!Removed(entries_[read])) {
            entries_[write++] = entries_[read];
        }
    }
    entries_.resize(write);
    removed_ = 0;
    tree_.clear();
}

// One pass from the top: entries still listed move up over the gaps. At each run of removed
// rows the view is told while the rows after the run are still where it can read them.
void NickListModel::RemoveRunByRun()
{
    const std::size_t shown = published_;
    std::size_t write = 0;
    std::size_t read = 0;
    while (read < shown) {
        if (!Removed(entries_[read])) {
            entries_[write++] = entries_[read++];
            continue;
        }
        std::size_t end = read + 1;
        while (end < shown && Removed(entries_[end])) {
            ++end;
        }
        gapRow_ = write;
        gap_ = read - write;
        beginRemoveRows(QModelIndex(), static_cast<int>(write), static_cast<int>(write + (end - read)) - 1);
        gap_ = end - write;
        rows_ -= end - read;
        endRemoveRows();
        read = end;
    }
    // Entries not yet shown move up behind the rows.
    for (std::size_t from = shown; from < entries_.size(); ++from) {
        entries_[write + (from - shown)] = entries_[from];
    }
    entries_.resize(write + (entries_.size() - shown));
    published_ = write;
    gapRow_ = 0;
    gap_ = 0;
}

void NickListModel::RemoveInOneLayout()
{
    Q_EMIT layoutAboutToBeChanged();
    // Asked after the announcement: the selection keeps itself in indexes made on it.
    const QModelIndexList before = persistentIndexList();
    const std::size_t shown = published_;
    std::vector<std::int32_t> rowAfter(shown, -1);
    std::size_t write = 0;
    for (std::size_t read = 0; read < shown; ++read) {
        if (!Removed(entries_[read])) {
            rowAfter[read] = static_cast<std::int32_t>(write);
            entries_[write++] = entries_[read];
        }
    }
    for (std::size_t from = shown; from < entries_.size(); ++from) {
        entries_[write + (from - shown)] = entries_[from];
    }
    entries_.resize(write + (entries_.size() - shown));
    published_ = write;
    rows_ = write;
    MovePersistent(before, rowAfter);
    Q_EMIT layoutChanged();
}

void NickListModel::MovePersistent(const QModelIndexList& before, const std::vector<std::int32_t>& rowAfter)
{
    const std::size_t shown = rowAfter.size();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        // A row that went hands its place to the next row still listed, or else the one before.
        auto row = static_cast<std::size_t>(old.row());
        std::size_t next = row;
        while (next < shown && rowAfter[next] < 0) {
            ++next;
        }
        if (next == shown) {
            next = row;
            while (next > 0 && rowAfter[next] < 0) {
                --next;
            }
        }
        after.push_back(rowAfter[next] < 0 ? QModelIndex() : index(rowAfter[next], old.column()));
    }
    changePersistentIndexList(before, after);
}

void NickListModel::CompactBytes()
{
    TextBuffer kept;
    kept.reserve(bytes_.size() - garbage_);
    for (Entry& entry : entries_) {
        const std::string_view text = Text(entry);
        entry.offset = static_cast<std::uint32_t>(kept.size());
        kept.append(text);
    }
    bytes_.swap(kept);
    garbage_ = 0;
}

bool NickListModel::Before(std::uint32_t slotA, std::uint32_t slotB) const
{
    const Entry& a = entries_[slotA];
    const Entry& b = entries_[slotB];
    if (a.rank != b.rank) {
        return a.rank < b.rank;
    }
    const int order = CompareNicks(Text(a), Text(b), caseMapping_);
    // Two entries of one text (a server may rename onto a listed nick) still have an order.
    return order != 0 ? order < 0 : slotA < slotB;
}

std::size_t NickListModel::RowOfSlot(std::size_t slot) const
{
    const auto key = static_cast<std::uint32_t>(slot);
    const auto at = std::lower_bound(order_.begin(), order_.end(), key,
                                     [this](std::uint32_t a, std::uint32_t b) { return Before(a, b); });
    if (at == order_.end() || *at != key) {
        throw std::logic_error("nick list out of order");
    }
    return static_cast<std::size_t>(at - order_.begin());
}

void NickListModel::Reposition(std::size_t row)
{
    const std::uint32_t slot = order_[row];
    const auto before = [this](std::uint32_t a, std::uint32_t b) { return Before(a, b); };
    const auto here = order_.begin() + static_cast<std::ptrdiff_t>(row);
    if (row > 0 && Before(slot, order_[row - 1])) {
        const auto to = std::lower_bound(order_.begin(), here, slot, before);
        beginMoveRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row), QModelIndex(),
                      static_cast<int>(to - order_.begin()));
        std::rotate(to, here, here + 1);
        endMoveRows();
    } else if (row + 1 < order_.size() && Before(order_[row + 1], slot)) {
        const auto to = std::lower_bound(here + 1, order_.end(), slot, before);
        beginMoveRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row), QModelIndex(),
                      static_cast<int>(to - order_.begin()));
        std::rotate(here, here + 1, to);
        endMoveRows();
    }
}

void NickListModel::CloseGapsRanked()
{
    const auto gone = [this](std::size_t row) { return Removed(entries_[order_[row]]); };
    std::size_t runs = 0;
    for (std::size_t row = 0; row < order_.size() && runs <= kRowRuns; ++row) {
        if (gone(row) && (row == 0 || !gone(row - 1))) {
            ++runs;
        }
    }
    if (runs > 0 && runs <= kRowRuns) {
        // From the bottom up, so the rows above a run keep their numbers.
        std::size_t end = order_.size();
        while (end > 0) {
            if (!gone(end - 1)) {
                --end;
                continue;
            }
            std::size_t first = end - 1;
            while (first > 0 && gone(first - 1)) {
                --first;
            }
            beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(end) - 1);
            order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(first),
                         order_.begin() + static_cast<std::ptrdiff_t>(end));
            rows_ = order_.size();
            endRemoveRows();
            end = first;
        }
    } else if (runs > kRowRuns) {
        Q_EMIT layoutAboutToBeChanged();
        const QModelIndexList before = persistentIndexList();
        std::vector<std::int32_t> rowAfter(order_.size(), -1);
        std::size_t write = 0;
        for (std::size_t read = 0; read < order_.size(); ++read) {
            if (!gone(read)) {
                rowAfter[read] = static_cast<std::int32_t>(write);
                order_[write++] = order_[read];
            }
        }
        order_.resize(write);
        rows_ = write;
        MovePersistent(before, rowAfter);
        Q_EMIT layoutChanged();
    }
    // The entries close up too; rows keep their order and follow their entries.
    std::vector<std::uint32_t> moved(entries_.size());
    std::size_t write = 0;
    std::size_t published = 0;
    for (std::size_t read = 0; read < entries_.size(); ++read) {
        if (!Removed(entries_[read])) {
            moved[read] = static_cast<std::uint32_t>(write);
            entries_[write++] = entries_[read];
            published += read < published_ ? 1 : 0;
        }
    }
    entries_.resize(write);
    for (std::uint32_t& slot : order_) {
        slot = moved[slot];
    }
    published_ = published;
    removed_ = 0;
    tree_.clear();
}

void NickListModel::PublishRanked()
{
    const auto before = [this](std::uint32_t a, std::uint32_t b) { return Before(a, b); };
    std::vector<std::uint32_t> fresh(entries_.size() - published_);
    std::iota(fresh.begin(), fresh.end(), static_cast<std::uint32_t>(published_));
    SortSlots(fresh);
    if (order_.empty()) {
        beginResetModel();
        order_ = std::move(fresh);
        published_ = entries_.size();
        rows_ = order_.size();
        endResetModel();
        return;
    }
    // Where each new row goes among the old ones; the new rows that land together go as one
    // insertion, and a names reply lands in few places.
    std::vector<std::size_t> places(fresh.size());
    std::size_t runs = 0;
    {
        auto from = order_.begin();
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            from = std::lower_bound(from, order_.end(), fresh[i], before);
            places[i] = static_cast<std::size_t>(from - order_.begin());
            runs += i == 0 || places[i] != places[i - 1] ? 1 : 0;
        }
    }
    if (runs <= kRowRuns) {
        // From the bottom up, so the rows above keep their numbers.
        std::size_t end = fresh.size();
        while (end > 0) {
            std::size_t first = end - 1;
            while (first > 0 && places[first - 1] == places[end - 1]) {
                --first;
            }
            const auto at = static_cast<int>(places[first]);
            beginInsertRows(QModelIndex(), at, at + static_cast<int>(end - first) - 1);
            order_.insert(order_.begin() + at, fresh.begin() + static_cast<std::ptrdiff_t>(first),
                          fresh.begin() + static_cast<std::ptrdiff_t>(end));
            rows_ = order_.size();
            endInsertRows();
            end = first;
        }
        published_ = entries_.size();
        return;
    }
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList persistent = persistentIndexList();
    std::vector<std::int32_t> rowAfter(order_.size());
    std::vector<std::uint32_t> merged;
    merged.reserve(order_.size() + fresh.size());
    std::size_t next = 0;
    for (std::size_t row = 0; row < order_.size(); ++row) {
        while (next < fresh.size() && places[next] == row) {
            merged.push_back(fresh[next++]);
        }
        rowAfter[row] = static_cast<std::int32_t>(merged.size());
        merged.push_back(order_[row]);
    }
    merged.insert(merged.end(), fresh.begin() + static_cast<std::ptrdiff_t>(next), fresh.end());
    order_ = std::move(merged);
    published_ = entries_.size();
    rows_ = order_.size();
    MovePersistent(persistent, rowAfter);
    Q_EMIT layoutChanged();
}

void NickListModel::SortSlots(std::vector<std::uint32_t>& slots) const
{
    // The rank and the first fifteen folded bytes, as two numbers, decide nearly every order of
    // a names reply; only equal numbers compare the whole nicks. A shorter nick's missing bytes
    // count as zero, below any byte, so the numbers order as nicks do. A radix sort on those
    // bytes: a comparison sort costs a names reply several times as much, and more on the
    // numbered nicks where its pivots go bad.
    constexpr std::size_t kRadixFrom = 256;
    std::array<unsigned char, 256> fold{};
    for (std::size_t c = 0; c < fold.size(); ++c) {
        fold[c] = static_cast<unsigned char>(FoldNickChar(static_cast<char>(c), caseMapping_));
    }
    std::vector<SortKey> keyed;
    keyed.reserve(slots.size());
    std::uint64_t anyHigh = 0;
    std::uint64_t allHigh = ~std::uint64_t{0};
    std::uint64_t anyLow = 0;
    std::uint64_t allLow = ~std::uint64_t{0};
    for (const std::uint32_t slot : slots) {
        const Entry& entry = entries_[slot];
        const std::string_view text = Text(entry);
        // Read as big-endian numbers: the first byte the most significant.
        std::array<unsigned char, 16> bytes{};
        const std::size_t length = std::min<std::size_t>(text.size(), 15);
        for (std::size_t i = 0; i < length; ++i) {
            bytes[i] = fold[static_cast<unsigned char>(text[i])];
        }
        const std::uint64_t high = (std::uint64_t{entry.rank} << 56) | (BigEndian(bytes.data()) >> 8);
        const std::uint64_t low = BigEndian(bytes.data() + 7);
        keyed.push_back(SortKey{high, low, slot});
        anyHigh |= high;
        allHigh &= high;
        anyLow |= low;
        allLow &= low;
    }
    // A join or two settle often: their few keys are not worth the digit counts.
    const bool radix = slots.size() >= kRadixFrom;
    // Stable passes over the bytes in which keys differ, from the lowest up; the rank and the
    // first letters are often the same for all.
    std::vector<SortKey> spare(radix ? keyed.size() : 0);
    for (unsigned d = 0; radix && d < 16; ++d) {
        const bool inLow = d < 8;
        const unsigned shift = 8 * (d % 8);
        if ((((inLow ? anyLow ^ allLow : anyHigh ^ allHigh) >> shift) & 0xFFU) == 0) {
            continue;
        }
        if (inLow) {
            RadixPass<true>(keyed, spare, shift);
        } else {
            RadixPass<false>(keyed, spare, shift);
        }
    }
    if (!radix) {
        std::sort(keyed.begin(), keyed.end(), [](const SortKey& a, const SortKey& b) {
            return a.high != b.high ? a.high < b.high : a.low < b.low;
        });
    }
    const auto equalKeys = [](const SortKey& a, const SortKey& b) { return a.high == b.high && a.low == b.low; };
    for (auto run = keyed.begin(); run != keyed.end();) {
        const auto end =
            std::find_if_not(run + 1, keyed.end(), [&](const SortKey& k) { return equalKeys(k, *run); });
        if (end - run > 1) {
            std::sort(run, end, [this](const SortKey& a, const SortKey& b) { return Before(a.slot, b.slot); });
        }
        run = end;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i] = keyed[i].slot;
    }
}

void NickListModel::Resort()
{
    beginResetModel();
    order_.resize(published_);
    std::iota(order_.begin(), order_.end(), std::uint32_t{0});
    SortSlots(order_);
    rows_ = order_.size();
    endResetModel();
}

} // namespace tellix
