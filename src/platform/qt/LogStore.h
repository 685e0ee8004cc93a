#pragma once

#include "platform/ChildView.h"
#include "platform/qt/LogText.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// The newest lines of a log, decoded once to UTF-8, in shared text chunks.
//
// A line costs four bytes beyond its text: its end, relative to its page. A page of lines that
// is not all as many UTF-16 units as bytes adds four more per line, and formatting codes add
// their marks. Positions count UTF-16 units of the held text, two for each line break.
class LogStore {
public:
    static constexpr std::uint32_t kLinesPerPage = 4096;

    // `pageTextLimit` bounds a page's text after its first line (the offsets are 32-bit).
    explicit LogStore(std::uint32_t pageTextLimit = std::numeric_limits<std::uint32_t>::max());
    ~LogStore();
    LogStore(const LogStore&) = delete;
    LogStore& operator=(const LogStore&) = delete;

    // One appended line; a CR LF inside starts a further line. The style, its offsets counting
    // bytes of `bytes`, goes with the first line.
    void Append(std::string_view bytes, const LineStyle* style = nullptr);
    void Clear();

    struct Dropped {
        std::int64_t lines = 0;
        // How far positions move back: the dropped text and the line break after it.
        std::int64_t positions = 0;
    };
    // Once there are more than `keep` lines and a page, drops whole pages of the oldest lines
    // while at least `keep` remain: each page goes at once, with its text chunks, so a line
    // costs constant time however long the log has run.
    Dropped Trim(std::int64_t keep);
    // Puts the lines of `older` (a store never trimmed) before the first line kept; tells how
    // many lines came and how far the positions of the lines held before moved on.
    Dropped Prepend(LogStore&& older);

    std::int64_t LineCount() const { return lines_ - firstLine_; }
    std::int64_t TextLength() const { return LineCount() == 0 ? 0 : units_ + 2 * (lines_ - 1) - firstPosition_; }

    std::int64_t LineStart(std::int64_t line) const;
    std::int64_t LineLength(std::int64_t line) const;
    std::string_view LineUtf8(std::int64_t line) const;
    // The line holding `position`; the line break after a line belongs to it.
    std::int64_t LineAt(std::int64_t position) const;
    // How the line reads, its offsets counting UTF-16 units of the held line; a plain style
    // when it was appended without one. Offsets past 255 are not kept: such a line has no nick.
    LineStyle StyleOf(std::int64_t line) const;
    // The number of the first line kept, counted from the first line ever appended: it tells a
    // line from the one that takes its place after a trim.
    std::int64_t FirstLine() const { return firstLine_; }
    // The line's formatting marks; empty when it has no formatting codes.
    void Formatting(std::int64_t line, std::vector<logtext::FormatMark>& out) const;

private:
    struct Page {
        std::int64_t firstLine = 0;
        // Where the page's first line starts and ends; later ends are relative to the end.
        std::int64_t byteStart = 0;
        std::int64_t unitStart = 0;
        std::int64_t byteBase = 0;
        std::int64_t unitBase = 0;
        std::vector<std::uint32_t> byteEnd;
        // Empty while every later line has as many units as bytes.
        std::vector<std::uint32_t> unitEnd;
        // Lines with formatting codes, in order, with where their marks start in `marks`.
        std::vector<std::uint16_t> codeLines;
        std::vector<std::uint32_t> codeOffsets;
        std::vector<std::uint8_t> marks;
        // Each line's style, packed; empty until a line of the page has one.
        std::vector<std::uint32_t> styles;

        std::int64_t Count() const { return static_cast<std::int64_t>(byteEnd.size()); }
        std::int64_t ByteEnd(std::int64_t i) const { return byteBase + byteEnd[i]; }
        std::int64_t UnitEnd(std::int64_t i) const { return unitBase + (unitEnd.empty() ? byteEnd : unitEnd)[i]; }
        std::int64_t ByteBegin(std::int64_t i) const { return i == 0 ? byteStart : ByteEnd(i - 1); }
        std::int64_t UnitBegin(std::int64_t i) const { return i == 0 ? unitStart : UnitEnd(i - 1); }
    };
    struct Chunk {
        std::unique_ptr<char[]> data;
        std::int64_t base = 0;
        std::size_t size = 0;
        std::size_t capacity = 0;
    };

    void AddLine(std::string_view bytes, logtext::ByteScan scan, const LineStyle* style);
    char* Reserve(std::size_t bytes);
    void ClosePage();
    // Lines and positions below are counted from the first line ever appended.
    const Page& PageOf(std::int64_t line) const;

    std::uint32_t pageTextLimit_;
    std::deque<Page> pages_;
    std::deque<Chunk> chunks_;
    // The first line kept, and where it starts in the text ever appended.
    std::int64_t firstLine_ = 0;
    std::int64_t firstPosition_ = 0;
    std::int64_t lines_ = 0;
    std::int64_t bytes_ = 0;
    std::int64_t units_ = 0;
    std::string scratch_;
    std::vector<logtext::FormatMark> scratchMarks_;
};

} // namespace tellix
