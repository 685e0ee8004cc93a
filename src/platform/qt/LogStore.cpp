#include "platform/qt/LogStore.h"

#include "util/LineRoad.h"
#include "util/Utf8.h"

#include <algorithm>
#include <cstring>

namespace tellix {

using logtext::ByteScan;
using logtext::FormatMark;

namespace {

// Small logs stay small; big ones waste at most a part of one chunk.
constexpr std::size_t kFirstChunk = 4 * 1024;
constexpr std::size_t kLargestChunk = 256 * 1024;

void PutVarint(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

std::uint32_t GetVarint(const std::uint8_t*& p)
{
    std::uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t b = *p++;
        value |= static_cast<std::uint32_t>(b & 0x7F) << shift;
        if (b < 0x80) {
            return value;
        }
    }
}

// UTF-16 units of the first `bytes` bytes of a line as it is held.
std::uint32_t HeldUnits(std::string_view line, ByteScan scan, std::uint32_t bytes)
{
    const std::string_view part = line.substr(0, std::min<std::size_t>(bytes, line.size()));
    if (scan.ascii) {
        return static_cast<std::uint32_t>(part.size());
    }
    std::string scratch;
    return static_cast<std::uint32_t>(AppendShownUtf8(part, scratch));
}

// Four bytes a line (none in a page where no line has a style): kind and flags, nick start, nick length, and the
// text's start after the nick. The prefix these cover is a time stamp and a nick, far below 255 units.
std::uint32_t PackStyle(std::string_view line, ByteScan scan, const LineStyle& style)
{
    const std::uint32_t textStart = HeldUnits(line, scan, style.textStart);
    std::uint32_t nickStart = 0;
    std::uint32_t nickLength = 0;
    if (style.nickLength > 0) {
        nickStart = HeldUnits(line, scan, style.nickStart);
        nickLength = HeldUnits(line, scan, style.nickStart + style.nickLength) - nickStart;
    }
    if (nickStart > 0xFF || nickLength > 0xFF || nickStart + nickLength > textStart ||
        textStart - nickStart - nickLength > 0xFF) {
        nickStart = nickLength = 0;
    }
    const std::uint32_t gap = textStart - nickStart - nickLength;
    const std::uint32_t shownGap = gap > 0xFF ? 0 : gap;
    const std::uint32_t flags =
        static_cast<std::uint32_t>(style.kind) | (style.own ? 0x10U : 0U) | (style.highlight ? 0x20U : 0U);
    return flags | nickStart << 8 | nickLength << 16 | shownGap << 24;
}

LineStyle UnpackStyle(std::uint32_t packed)
{
    LineStyle style;
    style.kind = static_cast<LineStyle::Kind>(packed & 0x0F);
    style.own = (packed & 0x10) != 0;
    style.highlight = (packed & 0x20) != 0;
    style.nickStart = packed >> 8 & 0xFF;
    style.nickLength = packed >> 16 & 0xFF;
    style.textStart = style.nickStart + style.nickLength + (packed >> 24);
    return style;
}

} // namespace

LogStore::LogStore(std::uint32_t pageTextLimit) : pageTextLimit_(pageTextLimit) {}

LogStore::~LogStore() = default;

TELLIX_LINE_ROAD void LogStore::Append(std::string_view bytes, const LineStyle* style)
{
    const ByteScan scan = logtext::ScanBytes(bytes);
    if (!scan.controls || bytes.find('\r') == std::string_view::npos) {
        AddLine(bytes, scan, style);
        return;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t lineBreak = bytes.find("\r\n", from);
        const std::string_view line =
            bytes.substr(from, lineBreak == std::string_view::npos ? bytes.npos : lineBreak - from);
        AddLine(line, logtext::ScanBytes(line), from == 0 ? style : nullptr);
        if (lineBreak == std::string_view::npos) {
            return;
        }
        from = lineBreak + 2;
    }
}

void LogStore::Clear()
{
    pages_.clear();
    chunks_.clear();
    firstLine_ = firstPosition_ = 0;
    lines_ = bytes_ = units_ = 0;
}

LogStore::Dropped LogStore::Trim(std::int64_t keep)
{
    if (LineCount() <= keep + kLinesPerPage) {
        return {};
    }
    const Dropped before{firstLine_, firstPosition_};
    while (pages_.size() > 1 && lines_ - pages_[1].firstLine >= keep) {
        pages_.pop_front();
    }
    const Page& first = pages_.front();
    firstLine_ = first.firstLine;
    firstPosition_ = first.unitStart + 2 * first.firstLine;
    while (chunks_.size() > 1 && chunks_[1].base <= first.byteStart) {
        chunks_.pop_front();
    }
    return {firstLine_ - before.lines, firstPosition_ - before.positions};
}

LogStore::Dropped LogStore::Prepend(LogStore&& older)
{
    const std::int64_t count = older.LineCount();
    if (count == 0) {
        return {};
    }
    if (!older.pages_.empty()) {
        older.ClosePage();
    }
    // The older text ends where the first line kept begins: its lines are numbered, and its
    // positions counted, just before. Its bytes end before the first chunk kept, which may
    // still hold text of lines dropped.
    const std::int64_t firstLine = pages_.empty() ? lines_ : pages_.front().firstLine;
    const std::int64_t unitStart = pages_.empty() ? units_ : pages_.front().unitStart;
    std::int64_t byteEnd = pages_.empty() ? bytes_ : pages_.front().byteStart;
    if (!chunks_.empty()) {
        byteEnd = std::min(byteEnd, chunks_.front().base);
    }
    const std::int64_t lineShift = firstLine - older.lines_;
    const std::int64_t byteShift = byteEnd - older.bytes_;
    const std::int64_t unitShift = unitStart - older.units_;
    for (auto page = older.pages_.rbegin(); page != older.pages_.rend(); ++page) {
        page->firstLine += lineShift;
        page->byteStart += byteShift;
        page->byteBase += byteShift;
        page->unitStart += unitShift;
        page->unitBase += unitShift;
        pages_.push_front(std::move(*page));
    }
    for (auto chunk = older.chunks_.rbegin(); chunk != older.chunks_.rend(); ++chunk) {
        chunk->base += byteShift;
        chunks_.push_front(std::move(*chunk));
    }
    const bool wasEmpty = LineCount() == 0;
    const std::int64_t positionBefore = firstPosition_;
    const Page& first = pages_.front();
    firstLine_ = first.firstLine;
    firstPosition_ = first.unitStart + 2 * first.firstLine;
    older.Clear();
    return {count, wasEmpty ? 0 : positionBefore - firstPosition_};
}

char* LogStore::Reserve(std::size_t bytes)
{
    if (chunks_.empty() || chunks_.back().capacity - chunks_.back().size < bytes) {
        std::size_t capacity =
            chunks_.empty() ? kFirstChunk : std::min(kLargestChunk, chunks_.back().capacity * 2);
        capacity = std::max(capacity, bytes);
        chunks_.push_back({std::make_unique_for_overwrite<char[]>(capacity), bytes_, 0, capacity});
    }
    return chunks_.back().data.get() + chunks_.back().size;
}

void LogStore::ClosePage()
{
    Page& page = pages_.back();
    page.byteEnd.shrink_to_fit();
    page.unitEnd.shrink_to_fit();
    page.codeLines.shrink_to_fit();
    page.codeOffsets.shrink_to_fit();
    page.marks.shrink_to_fit();
    page.styles.shrink_to_fit();
}

TELLIX_LINE_ROAD void LogStore::AddLine(std::string_view bytes, ByteScan scan, const LineStyle* style)
{
    std::string_view utf8 = bytes;
    auto units = static_cast<std::int64_t>(bytes.size());
    if (!scan.ascii) {
        units = logtext::Utf8Units(bytes);
        if (units < 0) {
            scratch_.clear();
            units = AppendShownUtf8(bytes, scratch_);
            utf8 = scratch_;
        }
    }
    if (!utf8.empty()) {
        std::memcpy(Reserve(utf8.size()), utf8.data(), utf8.size());
        chunks_.back().size += utf8.size();
    }
    const std::int64_t byteEnd = bytes_ + static_cast<std::int64_t>(utf8.size());
    const std::int64_t unitEnd = units_ + units;

    if (pages_.empty() || pages_.back().Count() == kLinesPerPage ||
        byteEnd - pages_.back().byteBase > pageTextLimit_ || pages_.back().marks.size() > pageTextLimit_) {
        if (!pages_.empty()) {
            ClosePage();
        }
        Page& page = pages_.emplace_back();
        page.firstLine = lines_;
        page.byteStart = bytes_;
        page.unitStart = units_;
        page.byteBase = byteEnd;
        page.unitBase = unitEnd;
        page.byteEnd.push_back(0);
    } else {
        Page& page = pages_.back();
        const auto byteOffset = static_cast<std::uint32_t>(byteEnd - page.byteBase);
        const auto unitOffset = static_cast<std::uint32_t>(unitEnd - page.unitBase);
        if (page.unitEnd.empty() && unitOffset != byteOffset) {
            page.unitEnd.reserve(page.byteEnd.capacity());
            page.unitEnd = page.byteEnd;
        }
        page.byteEnd.push_back(byteOffset);
        if (!page.unitEnd.empty()) {
            page.unitEnd.push_back(unitOffset);
        }
    }

    if (scan.controls) {
        logtext::ParseFormatting(utf8, scratchMarks_);
        if (!scratchMarks_.empty()) {
            Page& page = pages_.back();
            page.codeLines.push_back(static_cast<std::uint16_t>(lines_ - page.firstLine));
            page.codeOffsets.push_back(static_cast<std::uint32_t>(page.marks.size()));
            std::uint32_t previous = 0;
            for (const FormatMark& mark : scratchMarks_) {
                PutVarint(page.marks, mark.start - previous);
                PutVarint(page.marks, mark.hidden);
                PutVarint(page.marks, mark.style.Pack());
                previous = mark.start;
            }
        }
    }
    Page& page = pages_.back();
    if (style != nullptr || !page.styles.empty()) {
        page.styles.resize(static_cast<std::size_t>(lines_ - page.firstLine));
        page.styles.push_back(style == nullptr ? 0 : PackStyle(bytes, scan, *style));
    }
    ++lines_;
    bytes_ = byteEnd;
    units_ = unitEnd;
}

LineStyle LogStore::StyleOf(std::int64_t line) const
{
    line += firstLine_;
    const Page& page = PageOf(line);
    const auto slot = static_cast<std::size_t>(line - page.firstLine);
    return slot < page.styles.size() ? UnpackStyle(page.styles[slot]) : LineStyle{};
}

const LogStore::Page& LogStore::PageOf(std::int64_t line) const
{
    const auto it = std::upper_bound(pages_.begin(), pages_.end(), line,
                                     [](std::int64_t l, const Page& page) { return l < page.firstLine; });
    return *(it - 1);
}

std::int64_t LogStore::LineStart(std::int64_t line) const
{
    line += firstLine_;
    const Page& page = PageOf(line);
    return page.UnitBegin(line - page.firstLine) + 2 * line - firstPosition_;
}

std::int64_t LogStore::LineLength(std::int64_t line) const
{
    line += firstLine_;
    const Page& page = PageOf(line);
    const std::int64_t i = line - page.firstLine;
    return page.UnitEnd(i) - page.UnitBegin(i);
}

std::string_view LogStore::LineUtf8(std::int64_t line) const
{
    line += firstLine_;
    const Page& page = PageOf(line);
    const std::int64_t i = line - page.firstLine;
    const std::int64_t begin = page.ByteBegin(i);
    const std::int64_t end = page.ByteEnd(i);
    if (begin == end) {
        return {};
    }
    // A line never spans chunks, so the last chunk starting at or before it holds it.
    const auto chunk = std::upper_bound(chunks_.begin(), chunks_.end(), begin,
                                        [](std::int64_t b, const Chunk& c) { return b < c.base; }) -
                       1;
    return {chunk->data.get() + (begin - chunk->base), static_cast<std::size_t>(end - begin)};
}

std::int64_t LogStore::LineAt(std::int64_t position) const
{
    if (LineCount() == 0) {
        return -1;
    }
    position = std::clamp<std::int64_t>(position, 0, TextLength()) + firstPosition_;
    const auto pageIt =
        std::upper_bound(pages_.begin(), pages_.end(), position,
                         [](std::int64_t p, const Page& pg) { return p < pg.unitStart + 2 * pg.firstLine; }) -
        1;
    const Page& page = *pageIt;
    // The last line of the page starting at or before the position.
    std::int64_t low = 0;
    std::int64_t high = page.Count() - 1;
    while (low < high) {
        const std::int64_t mid = (low + high + 1) / 2;
        if (page.UnitBegin(mid) + 2 * (page.firstLine + mid) <= position) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return page.firstLine + low - firstLine_;
}

void LogStore::Formatting(std::int64_t line, std::vector<FormatMark>& out) const
{
    out.clear();
    line += firstLine_;
    const Page& page = PageOf(line);
    const auto slot = static_cast<std::uint16_t>(line - page.firstLine);
    const auto it = std::lower_bound(page.codeLines.begin(), page.codeLines.end(), slot);
    if (it == page.codeLines.end() || *it != slot) {
        return;
    }
    const auto k = static_cast<std::size_t>(it - page.codeLines.begin());
    const std::uint8_t* p = page.marks.data() + page.codeOffsets[k];
    const std::uint8_t* end =
        page.marks.data() + (k + 1 < page.codeOffsets.size() ? page.codeOffsets[k + 1] : page.marks.size());
    std::uint32_t start = 0;
    while (p < end) {
        FormatMark mark;
        start += GetVarint(p);
        mark.start = start;
        mark.hidden = GetVarint(p);
        mark.style = logtext::Style::Unpack(static_cast<std::uint16_t>(GetVarint(p)));
        out.push_back(mark);
    }
}

} // namespace tellix
