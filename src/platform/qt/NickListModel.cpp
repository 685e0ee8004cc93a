#include "platform/qt/NickListModel.h"

#include "platform/qt/TextDecoding.h"

#include <QTimer>

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace tellix {

namespace {

std::size_t LowBit(std::size_t i)
{
    return i & (~i + 1);
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
        return DecodeForDisplay(Text(entries_[SlotOfRow(index.row())]));
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
    Entry& entry = entries_[slot];
    garbage_ += entry.length;
    entry.offset = static_cast<std::uint32_t>(bytes_.size());
    entry.length = static_cast<std::uint32_t>(nick.size());
    bytes_.append(nick);
    if (slot < published_) {
        const QModelIndex changed = index(static_cast<int>(slot)); // rows are entries until the settling
        Q_EMIT dataChanged(changed, changed);
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

char NickListModel::Symbol(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < rows_ ? entries_[SlotOfRow(row)].symbol : '\0';
}

bool NickListModel::RankedBefore(int rowA, int rowB) const
{
    const Entry& a = entries_[SlotOfRow(rowA)];
    const Entry& b = entries_[SlotOfRow(rowB)];
    return tellix::RankedBefore(a.rank, Text(a), b.rank, Text(b), caseMapping_);
}

RankedNickProxy::RankedNickProxy(NickListModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source)
{
    setSourceModel(source);
    setDynamicSortFilter(true);
    sort(0);
}

QVariant RankedNickProxy::data(const QModelIndex& index, int role) const
{
    QVariant shown = QSortFilterProxyModel::data(index, role);
    if (role == Qt::DisplayRole && index.isValid()) {
        if (const char symbol = source_->Symbol(mapToSource(index).row()); symbol != '\0') {
            return QString(shown.toString()).prepend(QLatin1Char(symbol));
        }
    }
    return shown;
}

bool RankedNickProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    return source_->RankedBefore(left.row(), right.row());
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
    Q_EMIT layoutChanged();
}

void NickListModel::CompactBytes()
{
    std::string kept;
    kept.reserve(bytes_.size() - garbage_);
    for (Entry& entry : entries_) {
        const std::string_view text = Text(entry);
        entry.offset = static_cast<std::uint32_t>(kept.size());
        kept.append(text);
    }
    bytes_.swap(kept);
    garbage_ = 0;
}

} // namespace tellix
