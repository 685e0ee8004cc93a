#pragma once

#include "platform/qt/LogStore.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPoint>
#include <QTextLayout>
#include <QTextLine>
#include <QTimer>

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tellix {

// A child window's log: its newest lines kept, only the visible ones painted.
//
// The log holds text exactly as appended: lines separated by CR LF. Positions (length,
// selection) count UTF-16 units of that held text, each line break counting 2. Bytes are
// decoded once, at append, by runs: valid UTF-8 as UTF-8, bytes that are not as Windows-1252.
// Formatting codes (0x02, 0x03 with its colour numbers, 0x0F, 0x16, 0x1D, 0x1F) are drawn as
// formatting and stay in the held text; other control characters are drawn as control
// pictures. Copying gives the text as shown, without formatting codes.
class LogWidget : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit LogWidget(QWidget* parent = nullptr);
    ~LogWidget() override;

    // One more line, after a CR LF unless the log is empty; a CR LF inside starts a further line.
    // The style (offsets in bytes of `bytes`) says how the first of them reads.
    void AppendLine(std::string_view bytes, const LineStyle* style = nullptr);
    // Lines older than any held, oldest first, above the first line; the view keeps showing
    // what it showed, and a selection stays on its text.
    void PrependLines(const std::vector<StyledLine>& lines);
    // Empties the log: lines, selection, marker and found matches.
    void Clear();

    static constexpr std::int64_t kDefaultScrollback = 100'000;
    // How many of the newest lines the log keeps. Older ones go a page at a time, between
    // appends (on the next frame), so positions read before an append still hold after it;
    // then the selection and the view move with their text.
    void SetScrollbackLines(std::int64_t lines);

    std::int64_t TextLength() const;
    std::int64_t SelectionStart() const;
    std::int64_t SelectionLength() const;
    // A start at TextLength with length 0 puts the caret at the end: the view follows new lines.
    void SetSelection(std::int64_t start, std::int64_t length);

    // Lines as displayed (a CR LF inside an appended line makes two).
    std::int64_t LineCount() const;
    // The held text, line breaks as CR LF (for tests and small logs).
    QString HeldText() const;
    // The selection as shown: formatting codes left out, lines joined by line breaks.
    QString SelectedText() const;
    // The number of the last line the latest paint drew, or -1 before the first paint.
    std::int64_t LastPaintedLine() const;

    // The selection as shown, on the clipboard (Ctrl+C and the context menu).
    void Copy();
    void SelectAll();

    // The font family and size from the settings ("Log Font", "Log Font Size") over the
    // window's own font; an empty or unreadable value keeps the window's. Every log reads them
    // again when the preferences dialog saves.
    void ApplyPreferences();
    // The font the settings are applied over (the window's own font).
    void SetBaseFont(const QFont& font);

    // Where the user stopped reading: the marker goes under the last line now held, and shows
    // once lines come after it. It goes with its line when older lines are dropped.
    void MarkRead();
    // The same, read elsewhere: the marker goes under the line `linesAfter` lines before the
    // newest held.
    void MarkRead(std::int64_t linesAfter);
    // The line the marker is under, or -1 when there is none to show.
    std::int64_t MarkerLine() const;

    // Finding text (Ctrl+F): a bar under the log, every match marked, the current one selected
    // and scrolled into view. Case does not matter; a search reads the log once, off the paint.
    void OpenFind();
    void CloseFind();
    bool FindOpen() const;
    QLineEdit* FindField() const { return findField_; }
    // Searches at once for what the field holds (typing searches after a pause).
    void FindNow();
    void FindNext();
    void FindPrevious();
    std::int64_t MatchCount() const { return static_cast<std::int64_t>(matches_.size()); }
    // The current match, from 0; -1 when there is none.
    std::int64_t CurrentMatch() const { return current_; }

    // How line `line` reads, its offsets in UTF-16 units of the held line.
    LineStyle StyleAt(std::int64_t line) const { return store_.StyleOf(line); }
    // The colour a nick is drawn in: the same for the same nick in any letter case, legible
    // on the current palette.
    QColor NickColour(QStringView nick);
    // How the server folds nicks, so that its two spellings of one nick share a colour.
    void SetNickCaseMapping(CaseMapping mapping);
    // Where row `row` of a line starts, from the left edge of the viewport, once laid out for
    // the current width; -1 when the line has no such row.
    int RowLeft(std::int64_t line, int row);

Q_SIGNALS:
    // A mouse selection was made: its text is the X11 primary selection where there is one.
    void selectionPublished(const QString& text);
    // The user scrolled up past the first line held (wheel, keys or scroll bar at the top).
    void olderWanted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A line laid out for the current width, kept while it is on screen.
    struct LineView;
    struct LineLook;
    struct VisibleLine {
        std::int64_t line;
        int y;
    };
    struct Hit {
        std::int64_t line = -1;
        int shown = 0;
        std::int64_t position = 0;
    };
    struct LinkRef {
        std::int64_t line = -1;
        int index = -1;
        bool operator==(const LinkRef&) const = default;
    };

    bool AtEnd() const;
    void Trim();
    void OnRepaintTimer();
    void OnScrolled(int value);
    void ScrollTo(std::int64_t topLine);
    void UpdateScrollRange();
    void UpdateMetrics();
    void SyncWidth();
    void DropLayouts();
    LineView& View(std::int64_t line);
    double Advance(QStringView text, int index, int units);
    void Wrap(QStringView text, double indent, std::vector<int>& rowStarts);
    double IndentOf(const LineView& view);
    int RowIndent(const LineView& view, int row) const;
    void DropColours();
    struct Match {
        std::int64_t line; // counted from the first line ever appended
        int start;         // shown units
        int length;
        bool operator<(const Match& other) const
        {
            return line != other.line ? line < other.line : start < other.start;
        }
    };
    void FindMore();
    void ShowMatch();
    void MakeFindBar();
    void PlaceFindBar();
    QString FindText() const;
    void UpdateFindCount();
    void PublishSelection();
    QTextLayout& RowLayout(LineView& view, int row);
    static void AddOverlay(const LineView& view, int row, int from, int to, const QTextCharFormat& format,
                           QList<QTextLayout::FormatRange>& overlays);
    int RowsOf(std::int64_t line);
    int LayoutWidth() const;
    void LayOutVisible();
    void DropHiddenViews();
    const VisibleLine* FindVisible(std::int64_t line) const;
    void UpdateLine(std::int64_t line);
    Hit HitAt(QPoint point, QTextLine::CursorPosition mode);
    LinkRef LinkAt(QPoint point);
    void SetHover(LinkRef link);
    QString LinkUrl(LinkRef link);
    QString ShownPart(std::int64_t line, std::int64_t from, std::int64_t to) const;

    LogStore store_;
    std::int64_t scrollback_ = kDefaultScrollback;
    std::int64_t anchor_ = 0;
    std::int64_t cursor_ = 0;
    std::int64_t lastPainted_ = -1;
    // The marker's line, counted from the first line ever appended (lines put above it count
    // below 0); kNoMarker before MarkRead.
    static constexpr std::int64_t kNoMarker = std::numeric_limits<std::int64_t>::min();
    std::int64_t marker_ = kNoMarker;
    QFont baseFont_;
    bool baseFontSet_ = false;
    std::unordered_map<QString, QColor> nickColours_;
    CaseMapping nickMapping_ = CaseMapping::Rfc1459;

    // Finding.
    QWidget* findBar_ = nullptr;
    QLineEdit* findField_ = nullptr;
    QLabel* findCount_ = nullptr;
    QTimer findTimer_;
    QString needle_;
    std::vector<Match> matches_;
    std::int64_t current_ = -1;
    // The first line, counted from the first ever appended, not searched yet.
    std::int64_t searchedTo_ = 0;
    QTimer repaintTimer_;
    bool programmaticScroll_ = false;

    // Layout.
    int rowHeight_ = 1;
    QFontMetricsF metrics_{QFont()};
    // Widths of the characters as shown (control pictures for the controls), measured once.
    std::array<double, 128> asciiAdvance_{};
    std::unordered_map<char32_t, double> advances_;
    std::unordered_map<std::uint16_t, QTextCharFormat> charFormats_;
    int layoutWidth_ = -1;
    std::unordered_map<std::int64_t, std::unique_ptr<LineView>> views_;
    std::vector<VisibleLine> visible_;
    // The first of the lines that fit at the bottom: the scroll bar's maximum.
    std::int64_t tailFirst_ = 0;
    std::vector<logtext::FormatMark> marks_;

    // Mouse.
    bool selecting_ = false;
    QPoint pressPoint_;
    LinkRef pressedLink_;
    LinkRef hoverLink_;
    QElapsedTimer tripleClick_;
    QPoint doubleClickPoint_;
};

} // namespace tellix
