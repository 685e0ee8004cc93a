#include "platform/qt/LogWidget.h"

#include "app/Settings.h"
#include "platform/qt/PreferencesDialog.h"
#include "platform/qtcore/QtSettingsStore.h"
#include "util/LineRoad.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <limits>

namespace tellix {

using logtext::Style;

namespace {

constexpr int kMargin = 3;
// A highlighted line's mark, in the left margin.
constexpr int kHighlightMark = 2;
// A wrapped row is indented under the text's start, but never by more than this share of the
// width, so that a narrow window still has room for the text.
constexpr double kMaxIndentShare = 0.5;
// A row never holds more than twice as many units as digits fit in it (and at least this many),
// whatever their width: a run of zero-width marks or of hanging blanks would otherwise make one
// row, and one shaping job, of a whole line.
constexpr int kMinRowUnitLimit = 256;
// One frame: a flood of appends is drawn at most this often.
constexpr int kRepaintDelayMs = 16;
// Typing in the find field searches once the typist pauses this long.
constexpr int kFindDelayMs = 250;

QColor PaletteColour(std::uint8_t number, QColor fallback)
{
    return number == Style::kDefaultColour ? fallback : QColor::fromRgb(logtext::PaletteRgb(number));
}

QColor Blend(const QColor& base, const QColor& over, double share)
{
    return QColor::fromRgbF(static_cast<float>(base.redF() + (over.redF() - base.redF()) * share),
                            static_cast<float>(base.greenF() + (over.greenF() - base.greenF()) * share),
                            static_cast<float>(base.blueF() + (over.blueF() - base.blueF()) * share));
}

// Highlights are orange on any palette: the selection already takes the palette's own.
const QColor kHighlightColour(0xE6, 0x7E, 0x00);
const QColor kMarkerColour(0xD0, 0x20, 0x20);

QTextCharFormat CharFormat(const Style& style, const QPalette& palette)
{
    QTextCharFormat format;
    QColor foreground = PaletteColour(style.foreground, palette.color(QPalette::Text));
    QColor background = PaletteColour(style.background, palette.color(QPalette::Base));
    if (style.reverse) {
        std::swap(foreground, background);
    }
    format.setForeground(foreground);
    if (style.reverse || style.background != Style::kDefaultColour) {
        format.setBackground(background);
    }
    if (style.bold) {
        format.setFontWeight(QFont::Bold);
    }
    if (style.italic) {
        format.setFontItalic(true);
    }
    if (style.underline) {
        format.setFontUnderline(true);
    }
    return format;
}

std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

} // namespace

// Rows are wrapped from cached character widths; glyphs are shaped one row at a time, and only
// for rows that are drawn or hit, so a huge line costs its length and a screenful of shaping.
struct LogWidget::LineView {
    explicit LineView(logtext::ShownLine&& line) : shown(std::move(line)) {}

    int Rows() const { return static_cast<int>(rowStarts.size()); }
    int RowStart(int row) const { return rowStarts[static_cast<std::size_t>(row)]; }
    int RowEnd(int row) const
    {
        return row + 1 < Rows() ? RowStart(row + 1) : static_cast<int>(shown.text.size());
    }
    // The row holding shown unit `index`; the end of a row belongs to the next one.
    int RowOf(int index) const
    {
        return static_cast<int>(std::upper_bound(rowStarts.begin(), rowStarts.end(), index) - rowStarts.begin()) -
               1;
    }

    logtext::ShownLine shown;
    std::vector<logtext::TextRange> links;
    std::vector<int> rowStarts;
    // How the line reads, in shown units.
    bool own = false;
    bool highlight = false;
    // A line read back from the logs, or the rule below them.
    bool dimmed = false;
    bool divider = false;
    int nickStart = 0;
    int nickLength = 0;
    int textStart = 0;
    QColor nickColour;
    // Where rows after the first start, right of the margin.
    double indent = 0;
    bool rightToLeft = false;
    std::vector<std::unique_ptr<QTextLayout>> rowLayouts;
};

LogWidget::LogWidget(QWidget* parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setMouseTracking(true);
    verticalScrollBar()->setSingleStep(1);
    repaintTimer_.setSingleShot(true);
    repaintTimer_.setInterval(kRepaintDelayMs);
    connect(&repaintTimer_, &QTimer::timeout, this, &LogWidget::OnRepaintTimer);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &LogWidget::OnScrolled);
    connect(&Preferences::Instance(), &Preferences::Changed, this, &LogWidget::ApplyPreferences);
    UpdateMetrics();

    findTimer_.setSingleShot(true);
    findTimer_.setInterval(kFindDelayMs);
    connect(&findTimer_, &QTimer::timeout, this, &LogWidget::FindNow);
}

LogWidget::~LogWidget() = default;

TELLIX_LINE_ROAD void LogWidget::AppendLine(std::string_view bytes, const LineStyle* style)
{
    const bool atEnd = AtEnd();
    // An empty log's only line is empty: the new text takes its place, with no line break.
    if (store_.TextLength() == 0 && store_.LineCount() > 0) {
        store_.Clear();
        DropLayouts();
    }
    store_.Append(bytes, style);
    if (atEnd) {
        anchor_ = cursor_ = store_.TextLength();
    }
    if (!repaintTimer_.isActive()) {
        repaintTimer_.start();
    }
}

void LogWidget::PrependLines(const std::vector<StyledLine>& lines)
{
    if (lines.empty()) {
        return;
    }
    const bool atEnd = AtEnd();
    // An empty log's only line is empty: the older lines take its place.
    if (store_.TextLength() == 0 && store_.LineCount() > 0) {
        store_.Clear();
    }
    LogStore older;
    for (const StyledLine& line : lines) {
        older.Append(line.text, &line.style);
    }
    const LogStore::Dropped added = store_.Prepend(std::move(older));
    DropLayouts();
    if (lastPainted_ >= 0) {
        lastPainted_ += added.lines;
    }
    // Line numbers of the view count from the first line held; positions from its start.
    const std::int64_t top = verticalScrollBar()->value() + added.lines;
    if (atEnd) {
        anchor_ = cursor_ = store_.TextLength();
    } else {
        anchor_ += added.positions;
        cursor_ += added.positions;
    }
    UpdateScrollRange();
    ScrollTo(atEnd ? tailFirst_ : top);
    viewport()->update();
}

void LogWidget::Clear()
{
    store_.Clear();
    DropLayouts();
    anchor_ = cursor_ = 0;
    lastPainted_ = -1;
    marker_ = kNoMarker;
    matches_.clear();
    current_ = -1;
    searchedTo_ = 0;
    UpdateScrollRange();
    viewport()->update();
}

void LogWidget::SetScrollbackLines(std::int64_t lines)
{
    // Far above any memory, and far from overflowing the store's sums.
    scrollback_ = std::clamp<std::int64_t>(lines, 1, std::int64_t{1} << 40);
    if (!repaintTimer_.isActive()) {
        repaintTimer_.start();
    }
}

std::int64_t LogWidget::TextLength() const
{
    return store_.TextLength();
}

std::int64_t LogWidget::SelectionStart() const
{
    return std::min(anchor_, cursor_);
}

std::int64_t LogWidget::SelectionLength() const
{
    return std::max(anchor_, cursor_) - std::min(anchor_, cursor_);
}

void LogWidget::SetSelection(std::int64_t start, std::int64_t length)
{
    const std::int64_t total = store_.TextLength();
    const std::int64_t anchor = std::clamp<std::int64_t>(start, 0, total);
    const std::int64_t cursor = std::clamp<std::int64_t>(SaturatedAdd(start, length), 0, total);
    // Every new line sets the selection it already has: that must cost nothing.
    if (anchor == anchor_ && cursor == cursor_) {
        return;
    }
    anchor_ = anchor;
    cursor_ = cursor;
    if (AtEnd()) {
        UpdateScrollRange();
        ScrollTo(tailFirst_);
    }
    viewport()->update();
}

std::int64_t LogWidget::LineCount() const
{
    return store_.LineCount();
}

QString LogWidget::HeldText() const
{
    QString text;
    text.reserve(static_cast<qsizetype>(store_.TextLength()));
    for (std::int64_t line = 0; line < store_.LineCount(); ++line) {
        if (line > 0) {
            text += u"\r\n";
        }
        const std::string_view utf8 = store_.LineUtf8(line);
        text += logtext::DecodeUtf8(utf8);
    }
    return text;
}

QString LogWidget::ShownPart(std::int64_t line, std::int64_t from, std::int64_t to) const
{
    const std::string_view utf8 = store_.LineUtf8(line);
    std::vector<logtext::FormatMark> marks;
    store_.Formatting(line, marks);
    logtext::ShownLine shown;
    logtext::Shape(logtext::DecodeUtf8(utf8), marks, shown);
    const int begin = shown.ShownIndex(static_cast<int>(from));
    return shown.text.mid(begin, shown.ShownIndex(static_cast<int>(to)) - begin);
}

QString LogWidget::SelectedText() const
{
    const std::int64_t start = SelectionStart();
    const std::int64_t end = start + SelectionLength();
    if (end == start) {
        return {};
    }
    QString text;
    const std::int64_t first = store_.LineAt(start);
    const std::int64_t last = store_.LineAt(end);
    for (std::int64_t line = first; line <= last; ++line) {
        if (line > first) {
            text += u'\n';
        }
        const std::int64_t lineStart = store_.LineStart(line);
        const std::int64_t length = store_.LineLength(line);
        const std::int64_t from = std::clamp<std::int64_t>(start - lineStart, 0, length);
        const std::int64_t to = std::clamp<std::int64_t>(end - lineStart, 0, length);
        if (to > from) {
            text += ShownPart(line, from, to);
        }
    }
    return text;
}

std::int64_t LogWidget::LastPaintedLine() const
{
    return lastPainted_;
}

void LogWidget::Copy()
{
    const QString text = SelectedText();
    if (!text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
    }
}

void LogWidget::SelectAll()
{
    anchor_ = 0;
    cursor_ = store_.TextLength();
    viewport()->update();
}

bool LogWidget::AtEnd() const
{
    return anchor_ == cursor_ && cursor_ == store_.TextLength();
}

void LogWidget::Trim()
{
    const bool atEnd = AtEnd();
    const LogStore::Dropped dropped = store_.Trim(scrollback_);
    if (dropped.lines == 0) {
        return;
    }
    DropLayouts();
    lastPainted_ = std::max<std::int64_t>(-1, lastPainted_ - dropped.lines);
    if (!matches_.empty()) {
        const auto kept = std::lower_bound(matches_.begin(), matches_.end(), Match{store_.FirstLine(), 0, 0});
        const auto gone = kept - matches_.begin();
        matches_.erase(matches_.begin(), kept);
        current_ = current_ < gone ? (matches_.empty() ? -1 : 0) : current_ - gone;
        UpdateFindCount();
    }
    if (atEnd) {
        anchor_ = cursor_ = store_.TextLength();
        return; // the repaint scrolls to the end
    }
    // A selection in the dropped text goes (the caret lands on the first line kept); one
    // reaching past it keeps its kept part.
    anchor_ = std::max<std::int64_t>(0, anchor_ - dropped.positions);
    cursor_ = std::max<std::int64_t>(0, cursor_ - dropped.positions);
    const std::int64_t top = std::max<std::int64_t>(0, verticalScrollBar()->value() - dropped.lines);
    UpdateScrollRange();
    ScrollTo(top);
}

void LogWidget::OnRepaintTimer()
{
    Trim();
    if (!needle_.isEmpty()) {
        FindMore();
    }
    UpdateScrollRange();
    if (AtEnd()) {
        ScrollTo(tailFirst_);
    }
    viewport()->update();
}

void LogWidget::OnScrolled(int value)
{
    viewport()->update();
    if (programmaticScroll_) {
        return;
    }
    if (value == 0 && store_.LineCount() > 0) {
        Q_EMIT olderWanted();
    }
    if (anchor_ != cursor_) {
        return;
    }
    // The user moved the view: the caret goes with it, and back to the end at the bottom.
    if (value >= verticalScrollBar()->maximum()) {
        anchor_ = cursor_ = store_.TextLength();
    } else {
        anchor_ = cursor_ = store_.LineStart(value);
    }
}

void LogWidget::ScrollTo(std::int64_t topLine)
{
    programmaticScroll_ = true;
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::int64_t>(topLine, INT_MAX)));
    programmaticScroll_ = false;
}

void LogWidget::SyncWidth()
{
    if (layoutWidth_ != LayoutWidth()) {
        layoutWidth_ = LayoutWidth();
        // The text, its formats and links stay; only the rows change.
        for (auto& [line, view] : views_) {
            view->indent = IndentOf(*view);
            Wrap(view->shown.text, view->indent, view->rowStarts);
            view->rowLayouts.clear();
            view->rowLayouts.resize(view->rowStarts.size());
        }
        visible_.clear();
    }
}

void LogWidget::UpdateScrollRange()
{
    SyncWidth();
    const std::int64_t lines = store_.LineCount();
    const int height = viewport()->height();
    std::int64_t first = lines;
    int used = 0;
    while (first > 0) {
        const int rows = RowsOf(first - 1) * rowHeight_;
        if (first < lines && used + rows > height) {
            break;
        }
        used += rows;
        --first;
    }
    tailFirst_ = first;
    programmaticScroll_ = true;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<std::int64_t>(first, INT_MAX)));
    verticalScrollBar()->setPageStep(std::max(1, height / rowHeight_ - 1));
    programmaticScroll_ = false;
}

void LogWidget::UpdateMetrics()
{
    metrics_ = QFontMetricsF(font());
    rowHeight_ = std::max(1, QFontMetrics(font()).lineSpacing());
    advances_.clear();
    for (std::size_t c = 0; c < asciiAdvance_.size(); ++c) {
        asciiAdvance_[c] = metrics_.horizontalAdvance(QChar(logtext::Shown(static_cast<char16_t>(c))));
    }
}

void LogWidget::DropLayouts()
{
    views_.clear();
    visible_.clear();
    hoverLink_ = {};
    pressedLink_ = {};
}

int LogWidget::LayoutWidth() const
{
    return std::max(1, viewport()->width() - 2 * kMargin);
}

LogWidget::LineView& LogWidget::View(std::int64_t line)
{
    std::unique_ptr<LineView>& slot = views_[line];
    if (slot) {
        return *slot;
    }
    const std::string_view utf8 = store_.LineUtf8(line);
    store_.Formatting(line, marks_);
    logtext::ShownLine shown;
    logtext::Shape(logtext::DecodeUtf8(utf8), marks_, shown);
    slot = std::make_unique<LineView>(std::move(shown));
    LineView& view = *slot;
    view.links = logtext::FindLinks(view.shown.text);
    view.rightToLeft = view.shown.text.isRightToLeft();
    const LineStyle style = store_.StyleOf(line);
    const auto textSize = static_cast<int>(view.shown.text.size());
    view.own = style.own;
    view.highlight = style.highlight;
    view.divider = style.kind == LineStyle::Kind::Divider;
    view.dimmed = view.divider || style.kind == LineStyle::Kind::History;
    view.textStart = std::min(textSize, view.shown.ShownIndex(static_cast<int>(style.textStart)));
    if (style.nickLength > 0) {
        view.nickStart = std::min(textSize, view.shown.ShownIndex(static_cast<int>(style.nickStart)));
        view.nickLength =
            std::min(textSize, view.shown.ShownIndex(static_cast<int>(style.nickStart + style.nickLength))) -
            view.nickStart;
        view.nickColour = NickColour(QStringView(view.shown.text).sliced(view.nickStart, view.nickLength));
    }
    view.indent = IndentOf(view);
    Wrap(view.shown.text, view.indent, view.rowStarts);
    view.rowLayouts.resize(view.rowStarts.size());
    return view;
}

double LogWidget::Advance(QStringView text, int index, int units)
{
    const char16_t c = text[index].unicode();
    if (units == 1 && c < asciiAdvance_.size()) {
        return asciiAdvance_[c];
    }
    const char32_t code = units == 2 ? QChar::surrogateToUcs4(text[index], text[index + 1]) : c;
    const auto it = advances_.find(code);
    if (it != advances_.end()) {
        return it->second;
    }
    const QChar::Category category = QChar::category(code);
    const double advance = category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing
                               ? 0.0
                               : metrics_.horizontalAdvance(text.sliced(index, units).toString());
    advances_.emplace(code, advance);
    return advance;
}

double LogWidget::IndentOf(const LineView& view)
{
    // Right-to-left rows start at the right edge: they keep no indent.
    if (view.rightToLeft || view.textStart == 0) {
        return 0;
    }
    const QStringView text(view.shown.text);
    double indent = 0;
    for (int i = 0; i < view.textStart;) {
        const int units =
            text[i].isHighSurrogate() && i + 1 < view.textStart && text[i + 1].isLowSurrogate() ? 2 : 1;
        indent += Advance(text, i, units);
        i += units;
    }
    return std::min(indent, std::floor(LayoutWidth() * kMaxIndentShare));
}

int LogWidget::RowIndent(const LineView& view, int row) const
{
    return row == 0 ? 0 : static_cast<int>(view.indent);
}

void LogWidget::Wrap(QStringView text, double indent, std::vector<int>& rowStarts)
{
    // Greedy: blanks hang at the end of a row, a row breaks after its last blank or between wide
    // (East Asian) characters, and anywhere when a word alone is wider than the row. Every unit
    // is measured at most twice.
    const double firstWidth = LayoutWidth();
    const double laterWidth = std::max(1.0, firstWidth - std::floor(indent));
    const int rowUnitLimit =
        std::max(kMinRowUnitLimit, static_cast<int>(2 * firstWidth / std::max(1.0, asciiAdvance_[u'0'])));
    const auto n = static_cast<int>(text.size());
    rowStarts.assign(1, 0);
    int start = 0;
    while (true) {
        const int limit = std::min(n, start + rowUnitLimit);
        // Rows after the first start under the text, so they are narrower.
        const double width = start == 0 ? firstWidth : laterWidth;
        double used = 0;
        int lastBreak = -1;
        bool previousWide = false;
        int end = -1;
        int i = start;
        while (i < limit) {
            const QChar c = text[i];
            const int units = c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate() ? 2 : 1;
            const double advance =
                c.unicode() < asciiAdvance_.size() ? asciiAdvance_[c.unicode()] : Advance(text, i, units);
            if (c == u' ') {
                used += advance;
                lastBreak = ++i;
                previousWide = false;
                continue;
            }
            const bool wide = c.unicode() >= 0x2E80 && c.unicode() < 0xFF00 && advance > 0;
            if (i > start && (wide || previousWide)) {
                lastBreak = i;
            }
            if (i > start && advance > 0 && used + advance > width) {
                end = lastBreak > start ? lastBreak : i;
                break;
            }
            previousWide = wide;
            used += advance;
            i += units;
        }
        if (end < 0) {
            if (i >= n) {
                return;
            }
            end = i;
        }
        rowStarts.push_back(end);
        start = end;
    }
}

QTextLayout& LogWidget::RowLayout(LineView& view, int row)
{
    std::unique_ptr<QTextLayout>& slot = view.rowLayouts[static_cast<std::size_t>(row)];
    if (slot) {
        return *slot;
    }
    const int start = view.RowStart(row);
    const int end = view.RowEnd(row);
    slot = std::make_unique<QTextLayout>(view.shown.text.mid(start, end - start), font(), viewport());
    QList<QTextLayout::FormatRange> formats;
    // Only the runs and links that meet the row: a line of thousands of colours costs a row its own.
    const auto spanEnd = [](int value, const logtext::StyleSpan& span) {
        return value < span.start + span.length;
    };
    for (auto span = std::upper_bound(view.shown.spans.begin(), view.shown.spans.end(), start, spanEnd);
         span != view.shown.spans.end() && span->start < end; ++span) {
        const int from = std::max(span->start, start);
        const int to = std::min(span->start + span->length, end);
        auto format = charFormats_.find(span->style.Pack());
        if (format == charFormats_.end()) {
            format = charFormats_.emplace(span->style.Pack(), CharFormat(span->style, palette())).first;
        }
        formats.append({from - start, to - from, format->second});
    }
    if (view.nickLength > 0 && view.nickStart < end && view.nickStart + view.nickLength > start) {
        const int from = std::max(view.nickStart, start);
        const int to = std::min(view.nickStart + view.nickLength, end);
        QTextCharFormat nick;
        nick.setForeground(view.nickColour);
        if (view.own) {
            nick.setFontWeight(QFont::Bold);
        }
        formats.append({from - start, to - from, nick});
    }
    const auto linkEnd = [](int value, const logtext::TextRange& link) {
        return value < link.start + link.length;
    };
    for (auto link = std::upper_bound(view.links.begin(), view.links.end(), start, linkEnd);
         link != view.links.end() && link->start < end; ++link) {
        const int from = std::max(link->start, start);
        const int to = std::min(link->start + link->length, end);
        QTextCharFormat underline;
        underline.setFontUnderline(true);
        formats.append({from - start, to - from, underline});
    }
    if (view.dimmed) {
        // Over every colour of the line: what was said before reads as before.
        QTextCharFormat dim;
        dim.setForeground(Blend(palette().color(QPalette::Base), palette().color(QPalette::Text), 0.5));
        formats.append({0, end - start, dim});
    }
    slot->setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    // The line's direction, not each row's own.
    option.setTextDirection(view.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    slot->setTextOption(option);
    slot->setCacheEnabled(true);
    slot->beginLayout();
    QTextLine textRow = slot->createLine();
    textRow.setLineWidth(std::max(1, LayoutWidth() - RowIndent(view, row)));
    textRow.setPosition(QPointF(0, 0));
    slot->endLayout();
    return *slot;
}

// Shown units `from` to `to` of a line, as ranges of each row's own layout.
void LogWidget::AddOverlay(const LineView& view, int row, int from, int to, const QTextCharFormat& format,
                           QList<QTextLayout::FormatRange>& overlays)
{
    const int start = view.RowStart(row);
    from = std::max(from, start);
    to = std::min(to, view.RowEnd(row));
    if (to > from) {
        overlays.append({from - start, to - from, format});
    }
}

int LogWidget::RowsOf(std::int64_t line)
{
    if (const auto it = views_.find(line); it != views_.end()) {
        return it->second->Rows();
    }
    const std::string_view utf8 = store_.LineUtf8(line);
    const logtext::ByteScan scan = logtext::ScanBytes(utf8);
    if (scan.ascii && !scan.controls) {
        // Blanks counted too: what fits this way fits the wrap.
        double used = 0;
        for (const char c : utf8) {
            used += asciiAdvance_[static_cast<unsigned char>(c)];
        }
        if (used <= LayoutWidth()) {
            return 1;
        }
    }
    return View(line).Rows();
}

void LogWidget::LayOutVisible()
{
    SyncWidth();
    visible_.clear();
    const int height = viewport()->height();
    int y = 0;
    for (std::int64_t line = verticalScrollBar()->value(); line < store_.LineCount() && y < height; ++line) {
        visible_.push_back({line, y});
        y += View(line).Rows() * rowHeight_;
    }
}

void LogWidget::DropHiddenViews()
{
    if (views_.size() <= visible_.size()) {
        return;
    }
    const std::int64_t first = visible_.empty() ? 0 : visible_.front().line;
    const std::int64_t last = visible_.empty() ? -1 : visible_.back().line;
    std::erase_if(views_, [&](const auto& entry) {
        return (entry.first < first || entry.first > last) && entry.first < tailFirst_;
    });
}

const LogWidget::VisibleLine* LogWidget::FindVisible(std::int64_t line) const
{
    for (const VisibleLine& visible : visible_) {
        if (visible.line == line) {
            return &visible;
        }
    }
    return nullptr;
}

void LogWidget::UpdateLine(std::int64_t line)
{
    if (const VisibleLine* visible = FindVisible(line)) {
        viewport()->update(0, visible->y, viewport()->width(), views_.at(line)->Rows() * rowHeight_);
    }
}

void LogWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.fillRect(event->rect(), colours.color(QPalette::Base));
    painter.setPen(colours.color(QPalette::Text));
    LayOutVisible();
    const QColor ownBackground = Blend(colours.color(QPalette::Base), colours.color(QPalette::Text), 0.07);
    const QColor highlightBackground = Blend(colours.color(QPalette::Base), kHighlightColour, 0.22);
    const std::int64_t marker = MarkerLine();

    const std::int64_t selectionStart = SelectionStart();
    const std::int64_t selectionEnd = selectionStart + SelectionLength();
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    QTextCharFormat found;
    found.setBackground(Blend(colours.color(QPalette::Base), QColor(0xFF, 0xD7, 0x00), 0.6));
    found.setForeground(colours.color(QPalette::Text));
    QTextCharFormat hovered;
    hovered.setForeground(colours.color(QPalette::Link));

    const QRect exposed = event->rect();
    for (const VisibleLine& visible : visible_) {
        LineView& view = View(visible.line);
        const QRect area(0, visible.y, viewport()->width(), view.Rows() * rowHeight_);
        if (!area.intersects(exposed)) {
            continue;
        }
        if (view.highlight) {
            painter.fillRect(area, highlightBackground);
            painter.fillRect(QRect(0, area.top(), kHighlightMark, area.height()), kHighlightColour);
        } else if (view.own) {
            painter.fillRect(area, ownBackground);
        } else if (view.divider) {
            // Under the divider's words, across the whole width.
            painter.setPen(Blend(colours.color(QPalette::Base), colours.color(QPalette::Text), 0.35));
            painter.drawLine(0, area.bottom(), area.width(), area.bottom());
            painter.setPen(colours.color(QPalette::Text));
        }
        int shownFrom = 0;
        int shownTo = 0;
        if (selectionEnd > selectionStart) {
            const std::int64_t lineStart = store_.LineStart(visible.line);
            const std::int64_t length = store_.LineLength(visible.line);
            const auto from = static_cast<int>(std::clamp<std::int64_t>(selectionStart - lineStart, 0, length));
            const auto to = static_cast<int>(std::clamp<std::int64_t>(selectionEnd - lineStart, 0, length));
            shownFrom = view.shown.ShownIndex(from);
            shownTo = view.shown.ShownIndex(to);
        }
        const std::int64_t absolute = store_.FirstLine() + visible.line;
        const auto firstMatch = std::lower_bound(matches_.begin(), matches_.end(), Match{absolute, 0, 0});
        // Only the rows in the exposed strip.
        const int firstRow = std::max(0, (exposed.top() - visible.y) / rowHeight_);
        const int lastRow = std::min(view.Rows() - 1, (exposed.bottom() - visible.y) / rowHeight_);
        for (int row = firstRow; row <= lastRow; ++row) {
            QList<QTextLayout::FormatRange> overlays;
            if (hoverLink_.line == visible.line) {
                const logtext::TextRange& link = view.links[static_cast<std::size_t>(hoverLink_.index)];
                AddOverlay(view, row, link.start, link.start + link.length, hovered, overlays);
            }
            for (auto match = firstMatch; match != matches_.end() && match->line == absolute; ++match) {
                AddOverlay(view, row, match->start, match->start + match->length, found, overlays);
            }
            AddOverlay(view, row, shownFrom, shownTo, selected, overlays);
            RowLayout(view, row).draw(
                &painter, QPointF(kMargin + RowIndent(view, row), visible.y + row * rowHeight_), overlays);
        }
        if (visible.line == marker) {
            // Under the line, within its last row so no row moves.
            painter.fillRect(QRect(0, area.bottom() - 1, viewport()->width(), 2), kMarkerColour);
        }
        lastPainted_ = visible.line;
    }
    if (visible_.empty()) {
        lastPainted_ = -1;
    }
    DropHiddenViews();
}

void LogWidget::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    PlaceFindBar();
    // The top line stays where it is unless the log follows its end.
    UpdateScrollRange();
    if (AtEnd()) {
        ScrollTo(tailFirst_);
    }
}

void LogWidget::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        DropColours();
        DropLayouts();
        viewport()->update();
    }
    if (event->type() == QEvent::FontChange) {
        UpdateMetrics();
        DropLayouts();
        UpdateScrollRange();
        if (AtEnd()) {
            ScrollTo(tailFirst_);
        }
        viewport()->update();
    }
}

void LogWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    if (event->matches(QKeySequence::Find)) {
        OpenFind();
        return;
    }
    if (event->key() == Qt::Key_Escape && FindOpen()) {
        CloseFind();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    if ((event->key() == Qt::Key_PageUp || event->matches(QKeySequence::MoveToStartOfDocument)) &&
        bar->value() == 0 && store_.LineCount() > 0) {
        Q_EMIT olderWanted(); // at the top already: the scroll bar does not move
    }
    if (event->key() == Qt::Key_PageUp) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (event->key() == Qt::Key_PageDown) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void LogWidget::wheelEvent(QWheelEvent* event)
{
    if (event->angleDelta().y() > 0 && verticalScrollBar()->value() == 0 && store_.LineCount() > 0) {
        Q_EMIT olderWanted();
    }
    QAbstractScrollArea::wheelEvent(event);
}

LogWidget::Hit LogWidget::HitAt(QPoint point, QTextLine::CursorPosition mode)
{
    LayOutVisible();
    if (visible_.empty()) {
        return {-1, 0, store_.TextLength()};
    }
    const VisibleLine& last = visible_.back();
    const int bottom = last.y + View(last.line).Rows() * rowHeight_;
    if (point.y() >= bottom && bottom <= viewport()->height()) {
        // Below the text: the end of the last line.
        const std::int64_t length = store_.LineLength(last.line);
        return {last.line, static_cast<int>(View(last.line).shown.text.size()),
                store_.LineStart(last.line) + length};
    }
    const int y = std::clamp(point.y(), 0, bottom - 1);
    const auto it = std::upper_bound(visible_.begin(), visible_.end(), y,
                                     [](int value, const VisibleLine& line) { return value < line.y; }) -
                    1;
    LineView& view = View(it->line);
    const int row = std::clamp((y - it->y) / rowHeight_, 0, view.Rows() - 1);
    int shown = view.RowStart(row) +
                RowLayout(view, row).lineAt(0).xToCursor(point.x() - kMargin - RowIndent(view, row), mode);
    shown = std::clamp(shown, 0, static_cast<int>(view.shown.text.size()));
    return {it->line, shown, store_.LineStart(it->line) + view.shown.HeldOffset(shown)};
}

LogWidget::LinkRef LogWidget::LinkAt(QPoint point)
{
    const Hit hit = HitAt(point, QTextLine::CursorOnCharacter);
    if (hit.line < 0 || point.y() < 0) {
        return {};
    }
    const VisibleLine* visible = FindVisible(hit.line);
    LineView& view = View(hit.line);
    if (visible == nullptr || view.links.empty() || point.y() >= visible->y + view.Rows() * rowHeight_) {
        return {};
    }
    // Past the end of a row is not on its last character.
    const int row = std::clamp((point.y() - visible->y) / rowHeight_, 0, view.Rows() - 1);
    const QTextLine textRow = RowLayout(view, row).lineAt(0);
    const int left = kMargin + RowIndent(view, row);
    if (point.x() - left >= textRow.naturalTextWidth() || point.x() < left) {
        return {};
    }
    const auto link = std::upper_bound(view.links.begin(), view.links.end(), hit.shown,
                                       [](int value, const logtext::TextRange& l) { return value < l.start; });
    if (link != view.links.begin() && hit.shown < (link - 1)->start + (link - 1)->length) {
        return {hit.line, static_cast<int>(link - 1 - view.links.begin())};
    }
    return {};
}

QString LogWidget::LinkUrl(LinkRef link)
{
    LineView& view = View(link.line);
    const logtext::TextRange& range = view.links[static_cast<std::size_t>(link.index)];
    return view.shown.text.mid(range.start, range.length);
}

void LogWidget::SetHover(LinkRef link)
{
    if (link == hoverLink_) {
        return;
    }
    const LinkRef old = hoverLink_;
    hoverLink_ = link;
    viewport()->setCursor(link.line >= 0 ? Qt::PointingHandCursor : Qt::IBeamCursor);
    UpdateLine(old.line);
    UpdateLine(link.line);
}

void LogWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    const bool triple = tripleClick_.isValid() && tripleClick_.elapsed() < QApplication::doubleClickInterval() &&
                        (point - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance();
    tripleClick_.invalidate();
    pressPoint_ = point;
    selecting_ = false;
    pressedLink_ = {};
    if (triple) {
        const Hit hit = HitAt(point, QTextLine::CursorOnCharacter);
        if (hit.line >= 0) {
            anchor_ = store_.LineStart(hit.line);
            cursor_ = anchor_ + store_.LineLength(hit.line);
        }
        viewport()->update();
        return;
    }
    // A link opens on release unless the mouse is dragged first.
    pressedLink_ = LinkAt(point);
    if (pressedLink_.line >= 0) {
        return;
    }
    const Hit hit = HitAt(point, QTextLine::CursorBetweenCharacters);
    cursor_ = hit.position;
    if (!(event->modifiers() & Qt::ShiftModifier)) {
        anchor_ = cursor_;
    }
    selecting_ = true;
    viewport()->update();
}

void LogWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton)) {
        SetHover(LinkAt(point));
        return;
    }
    if (pressedLink_.line >= 0) {
        if ((point - pressPoint_).manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        pressedLink_ = {};
        anchor_ = HitAt(pressPoint_, QTextLine::CursorBetweenCharacters).position;
        selecting_ = true;
    }
    if (!selecting_) {
        return;
    }
    // Dragging past an edge scrolls a line at a time.
    if (point.y() < 0 && verticalScrollBar()->value() > 0) {
        ScrollTo(verticalScrollBar()->value() - 1);
    } else if (point.y() >= viewport()->height() &&
               verticalScrollBar()->value() < verticalScrollBar()->maximum()) {
        ScrollTo(verticalScrollBar()->value() + 1);
    }
    cursor_ = HitAt(point, QTextLine::CursorBetweenCharacters).position;
    viewport()->update();
}

void LogWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    if (pressedLink_.line >= 0) {
        QDesktopServices::openUrl(QUrl(LinkUrl(pressedLink_), QUrl::TolerantMode));
    }
    pressedLink_ = {};
    if (selecting_) {
        PublishSelection();
    }
    selecting_ = false;
}

void LogWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    pressedLink_ = {};
    selecting_ = false;
    const Hit hit = HitAt(point, QTextLine::CursorOnCharacter);
    if (hit.line >= 0) {
        const LineView& view = View(hit.line);
        const logtext::TextRange word = logtext::WordAt(view.shown.text, hit.shown);
        const std::int64_t lineStart = store_.LineStart(hit.line);
        anchor_ = lineStart + view.shown.HeldOffset(word.start);
        cursor_ = word.length == 0 ? anchor_ : lineStart + view.shown.HeldOffset(word.start + word.length - 1) + 1;
    }
    tripleClick_.start();
    doubleClickPoint_ = point;
    PublishSelection();
    viewport()->update();
}

void LogWidget::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("Copy"), this, &LogWidget::Copy);
    copy->setEnabled(SelectionLength() > 0);
    menu.addAction(tr("Select All"), this, &LogWidget::SelectAll);
    menu.exec(event->globalPos());
}

bool LogWidget::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave) {
        SetHover({});
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void LogWidget::PublishSelection()
{
    // The X11 convention: what is selected with the mouse can be pasted with the middle button.
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString text = SelectedText();
    if (!text.isEmpty() && clipboard->supportsSelection()) {
        clipboard->setText(text, QClipboard::Selection);
    }
    if (!text.isEmpty()) {
        Q_EMIT selectionPublished(text);
    }
}

void LogWidget::DropColours()
{
    charFormats_.clear();
    nickColours_.clear();
}

QColor LogWidget::NickColour(QStringView nick)
{
    const QString key = nick.toString();
    auto it = nickColours_.find(key);
    if (it == nickColours_.end()) {
        it = nickColours_
                 .emplace(key, logtext::NickColour(logtext::NickColourIndex(nick, nickMapping_),
                                                   palette().color(QPalette::Base)))
                 .first;
    }
    return it->second;
}

void LogWidget::SetNickCaseMapping(CaseMapping mapping)
{
    if (mapping == nickMapping_) {
        return;
    }
    nickMapping_ = mapping;
    DropColours();
    DropLayouts();
    viewport()->update();
}

int LogWidget::RowLeft(std::int64_t line, int row)
{
    if (line < 0 || line >= store_.LineCount()) {
        return -1;
    }
    SyncWidth();
    const LineView& view = View(line);
    return row < 0 || row >= view.Rows() ? -1 : kMargin + RowIndent(view, row);
}

void LogWidget::MarkRead()
{
    MarkRead(0);
}

void LogWidget::MarkRead(std::int64_t linesAfter)
{
    const std::int64_t count = store_.LineCount();
    marker_ = count == 0 ? kNoMarker
                         : store_.FirstLine() +
                               std::max<std::int64_t>(0, count - 1 - std::max<std::int64_t>(0, linesAfter));
    viewport()->update();
}

std::int64_t LogWidget::MarkerLine() const
{
    if (marker_ == kNoMarker) {
        return -1;
    }
    const std::int64_t line = marker_ - store_.FirstLine();
    // Gone with its line, or nothing came after it.
    return line < 0 || line + 1 >= store_.LineCount() ? -1 : line;
}

void LogWidget::SetBaseFont(const QFont& font)
{
    baseFont_ = font;
    baseFontSet_ = true;
    ApplyPreferences();
}

void LogWidget::ApplyPreferences()
{
    if (!baseFontSet_) {
        baseFont_ = font();
        baseFontSet_ = true;
    }
    QtSettingsStore settings;
    const std::string app = SettingsAppName();
    const std::string section(settings::Section);
    const QString family =
        QString::fromStdString(settings.GetSetting(app, section, std::string(settings::LogFont), "")).trimmed();
    bool ok = false;
    const double size =
        QString::fromStdString(settings.GetSetting(app, section, std::string(settings::LogFontSize), ""))
            .trimmed()
            .toDouble(&ok);
    QFont chosen = baseFont_;
    if (!family.isEmpty()) {
        chosen.setFamily(family);
    }
    if (ok && size >= 4 && size <= 144) {
        chosen.setPointSizeF(size);
    }
    if (chosen != font()) {
        setFont(chosen);
    }
}

bool LogWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == findField_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier) {
                FindPrevious();
            } else {
                FindNext();
            }
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            CloseFind();
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

// Made when first asked for: most windows are never searched, and the bar's widgets would
// be a tenth of a new window's memory.
void LogWidget::MakeFindBar()
{
    findBar_ = new QWidget(this);
    findBar_->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(findBar_);
    layout->setContentsMargins(4, 2, 4, 2);
    findField_ = new QLineEdit(findBar_);
    findField_->setPlaceholderText(tr("Find in the log"));
    findField_->installEventFilter(this);
    findCount_ = new QLabel(findBar_);
    auto* previous = new QToolButton(findBar_);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(tr("Previous (Shift+Enter)"));
    auto* next = new QToolButton(findBar_);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(tr("Next (Enter)"));
    auto* close = new QToolButton(findBar_);
    close->setText(QStringLiteral("\u00D7"));
    close->setToolTip(tr("Close (Escape)"));
    layout->addWidget(findField_, 1);
    layout->addWidget(findCount_);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(close);
    findBar_->hide();
    connect(findField_, &QLineEdit::textEdited, this, [this] { findTimer_.start(); });
    connect(previous, &QToolButton::clicked, this, &LogWidget::FindPrevious);
    connect(next, &QToolButton::clicked, this, &LogWidget::FindNext);
    connect(close, &QToolButton::clicked, this, &LogWidget::CloseFind);
}

void LogWidget::PlaceFindBar()
{
    if (findBar_ == nullptr) {
        return;
    }
    const QRect area = viewport()->geometry();
    const int height = findBar_->sizeHint().height();
    findBar_->setGeometry(area.left(), area.bottom() + 1 - height, area.width(), height);
}

void LogWidget::OpenFind()
{
    if (findBar_ == nullptr) {
        MakeFindBar();
    }
    PlaceFindBar();
    findBar_->show();
    findBar_->raise();
    findField_->setFocus(Qt::ShortcutFocusReason);
    findField_->selectAll();
}

void LogWidget::CloseFind()
{
    findTimer_.stop();
    if (findBar_ != nullptr) {
        findBar_->hide();
    }
    needle_.clear();
    matches_.clear();
    current_ = -1;
    viewport()->update();
    setFocus(Qt::OtherFocusReason);
}

bool LogWidget::FindOpen() const
{
    return findBar_ != nullptr && findBar_->isVisible();
}

void LogWidget::FindNow()
{
    findTimer_.stop();
    needle_ = FindText();
    matches_.clear();
    current_ = -1;
    searchedTo_ = store_.FirstLine();
    if (!needle_.isEmpty()) {
        FindMore();
        // The newest match first: what was said last is what is looked for most.
        current_ = static_cast<std::int64_t>(matches_.size()) - 1;
        ShowMatch();
    }
    UpdateFindCount();
    viewport()->update();
}

void LogWidget::FindMore()
{
    // Each line is read once: a search costs the log's length, and later lines only their own.
    std::vector<logtext::FormatMark> marks;
    logtext::ShownLine shown;
    const std::int64_t first = store_.FirstLine();
    for (std::int64_t line = std::max(searchedTo_, first) - first; line < store_.LineCount(); ++line) {
        store_.Formatting(line, marks);
        shown = {};
        logtext::Shape(logtext::DecodeUtf8(store_.LineUtf8(line)), marks, shown);
        for (qsizetype at = shown.text.indexOf(needle_, 0, Qt::CaseInsensitive); at >= 0;
             at = shown.text.indexOf(needle_, at + needle_.size(), Qt::CaseInsensitive)) {
            matches_.push_back({first + line, static_cast<int>(at), static_cast<int>(needle_.size())});
        }
    }
    searchedTo_ = first + store_.LineCount();
    UpdateFindCount();
}

void LogWidget::FindNext()
{
    if (needle_ != FindText()) {
        FindNow();
        return;
    }
    FindMore();
    if (!matches_.empty()) {
        current_ = (current_ + 1) % static_cast<std::int64_t>(matches_.size());
        ShowMatch();
    }
    UpdateFindCount();
}

void LogWidget::FindPrevious()
{
    if (needle_ != FindText()) {
        FindNow();
        return;
    }
    FindMore();
    if (!matches_.empty()) {
        const auto count = static_cast<std::int64_t>(matches_.size());
        current_ = (current_ - 1 + count) % count;
        ShowMatch();
    }
    UpdateFindCount();
}

void LogWidget::ShowMatch()
{
    if (current_ < 0 || current_ >= static_cast<std::int64_t>(matches_.size())) {
        return;
    }
    const Match& match = matches_[static_cast<std::size_t>(current_)];
    const std::int64_t line = match.line - store_.FirstLine();
    const LineView& view = View(line);
    const std::int64_t lineStart = store_.LineStart(line);
    anchor_ = lineStart + view.shown.HeldOffset(match.start);
    cursor_ = lineStart + view.shown.HeldOffset(match.start + match.length);
    UpdateScrollRange();
    LayOutVisible();
    const VisibleLine* visible = FindVisible(line);
    // Fully in view, and not under the find bar.
    const int bottom = viewport()->height() - (FindOpen() ? findBar_->height() : 0);
    if (visible == nullptr || visible->y + view.Rows() * rowHeight_ > bottom) {
        ScrollTo(std::max<std::int64_t>(0, line - std::max(0, bottom / rowHeight_ / 2)));
    }
    viewport()->update();
}

QString LogWidget::FindText() const
{
    return findField_ == nullptr ? QString() : findField_->text();
}

void LogWidget::UpdateFindCount()
{
    if (findCount_ == nullptr) {
        return;
    }
    if (needle_.isEmpty()) {
        findCount_->clear();
    } else if (matches_.empty()) {
        findCount_->setText(tr("no match"));
    } else {
        findCount_->setText(tr("%1 of %2").arg(current_ + 1).arg(matches_.size()));
    }
}

} // namespace tellix
