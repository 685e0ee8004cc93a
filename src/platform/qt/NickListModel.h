#pragma once

#include "model/NickRanks.h"
#include "windows/TextBuffer.h"

#include <QAbstractListModel>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// A window's nick list as the list view reads it. Changes reach the view once control is
// back in the event loop: a names reply appends by the ten thousand and a netsplit removes by
// the ten thousand, and one row at a time each removal would move the rest of the list. So a
// removal only marks its entry, and the settling closes the gaps in one pass, then tells the
// view of the appends as one insertion. A few runs of removed rows go to the view run by run;
// many go as one change of layout, which moves the selection and the current row as the
// view itself moves them when rows go: to the next nick still listed. A rename is one row at
// once; a refill one reset. The texts sit end to end in one buffer, no object each.
//
// A channel's list is drawn ranked: the rows then are the entries in (rank, nick) order,
// kept sorted by binary search as single entries come, go or change rank, while a names
// reply's appends wait for the settling, are sorted once and merged in.
class NickListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    // bool: the entry's user is marked away, drawn dimmed.
    static constexpr int AwayRole = Qt::UserRole + 1;

    explicit NickListModel(QObject* parent = nullptr);

    // Asked once per row when the view lays out a list of thousands: kept direct.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Positions count the entries as the core has them, settled or not.
    void Clear();
    void Append(std::string_view nick);
    void Replace(std::int32_t position, std::string_view nick);
    void Remove(std::int32_t position);
    // Tells the view of the changes still waiting; it then shows every entry as it is.
    void Settle();

    // A channel's ranks: the entry is drawn with its symbol, and a ranked list orders by them.
    void Rank(std::int32_t position, std::int32_t rank, char symbol, bool op);
    // Whether the entry's user is away; its row keeps its place.
    void Away(std::int32_t position, bool away);
    // Turns ranking on (it stays on) and sorts by the server's case.
    void SetCaseMapping(CaseMapping mapping);
    CaseMapping NickCaseMapping() const { return caseMapping_; }
    bool Ranked() const { return ranked_; }
    std::int32_t Ops() const { return ops_; }
    // The bare nick of a row, without its symbol: what a query or a mode is sent for.
    std::string NickAt(int row) const;

private:
    static constexpr std::uint32_t kRemoved = std::uint32_t{1} << 31;
    // Runs of removed rows told to the view one by one: each costs the view about as much as
    // a few thousand rows of a change of layout.
    static constexpr std::size_t kRowRuns = 8;

    struct Entry {
        std::uint32_t offset; // in bytes_
        std::uint32_t length; // kRemoved set once removed
        std::uint8_t rank = RankTable::kMaxRanks;
        char symbol = '\0';
        bool op = false;
        bool away = false;
    };

    std::string_view Text(const Entry& entry) const
    {
        return std::string_view(bytes_).substr(entry.offset, entry.length & ~kRemoved);
    }
    static bool Removed(const Entry& entry) { return (entry.length & kRemoved) != 0; }
    void PostSettle();
    // The entry of a position; removed entries are not counted.
    std::size_t SlotAt(std::int32_t position) const;
    // The entry the view shows in a row.
    std::size_t SlotOfRow(int row) const;
    void CloseGaps();
    void RemoveRunByRun();
    void RemoveInOneLayout();
    void CompactBytes();
    // Moves the view's kept indexes as rows moved: `rowAfter` of a row that went is -1.
    void MovePersistent(const QModelIndexList& before, const std::vector<std::int32_t>& rowAfter);
    // The ranked order.
    bool Before(std::uint32_t slotA, std::uint32_t slotB) const;
    std::size_t RowOfSlot(std::size_t slot) const;
    // Moves the row whose key changed to where its key now belongs.
    void Reposition(std::size_t row);
    void CloseGapsRanked();
    void PublishRanked();
    void Resort();
    void SortSlots(std::vector<std::uint32_t>& slots) const;

    TextBuffer bytes_;
    std::size_t garbage_ = 0; // bytes of removed or replaced texts
    // In list order; the first `published_` are the view's rows, removed ones included until
    // the settling takes them out.
    std::vector<Entry> entries_;
    std::size_t published_ = 0;
    std::int32_t removed_ = 0;
    // While there are removed entries, a Fenwick tree counting the entries still listed turns
    // positions into entries in O(log n).
    std::vector<std::int32_t> tree_;
    // While the gaps close run by run, rows from gapRow_ on are shown by the entries gap_
    // further on.
    std::size_t rows_ = 0;
    std::size_t gapRow_ = 0;
    std::size_t gap_ = 0;
    bool settlePosted_ = false;
    std::int32_t ops_ = 0;
    CaseMapping caseMapping_ = CaseMapping::Rfc1459;
    bool ranked_ = false;
    // Ranked: the published entries in the order drawn, row by row.
    std::vector<std::uint32_t> order_;
};

} // namespace tellix
