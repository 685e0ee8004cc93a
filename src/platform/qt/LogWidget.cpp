#include "platform/qt/LogWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <limits>

namespace tellix {

using logtext::Style;

namespace {

constexpr int kMargin = 3;
// One frame: a flood of appends is drawn at most this often.
constexpr int kRepaintDelayMs = 16;

QColor PaletteColour(std::uint8_t number, QColor fallback)
{
    return number == Style::kDefaultColour ? fallback : QColor::fromRgb(logtext::PaletteRgb(number));
}

QTextCharFormat CharFormat(const Style& style)
{
    QTextCharFormat format;
    QColor foreground = PaletteColour(style.foreground, Qt::black);
    QColor background = PaletteColour(style.background, Qt::white);
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

struct LogWidget::LineView {
    LineView(logtext::ShownLine&& line, const QFont& font, QPaintDevice* device)
        : shown(std::move(line)), layout(shown.text, font, device)
    {
    }

    logtext::ShownLine shown;
    QTextLayout layout;
    std::vector<logtext::TextRange> links;
    int rows = 1;
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
    UpdateMetrics();
}

LogWidget::~LogWidget() = default;

void LogWidget::AppendLine(std::string_view bytes)
{
    const bool atEnd = AtEnd();
    // An empty log's only line is empty: the new text takes its place, with no line break.
    if (store_.TextLength() == 0 && store_.LineCount() > 0) {
        store_.Clear();
        DropLayouts();
    }
    store_.Append(bytes);
    if (atEnd) {
        anchor_ = cursor_ = store_.TextLength();
    }
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

void LogWidget::OnRepaintTimer()
{
    UpdateScrollRange();
    if (AtEnd()) {
        ScrollTo(tailFirst_);
    }
    viewport()->update();
}

void LogWidget::OnScrolled(int value)
{
    viewport()->update();
    if (programmaticScroll_ || anchor_ != cursor_) {
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
        DropLayouts();
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
    const QFontMetricsF metrics(font());
    rowHeight_ = std::max(1, QFontMetrics(font()).lineSpacing());
    // Monospace when the narrowest and widest ASCII letters agree; only then is the width of an
    // ASCII line its length times one advance.
    const double narrow = metrics.horizontalAdvance(QStringLiteral("iiiiiiiiiiiiiiii")) / 16;
    const double wide = metrics.horizontalAdvance(QStringLiteral("WWWWWWWWWWWWWWWW")) / 16;
    advance_ = std::max(narrow, wide);
    monospace_ = wide - narrow < 0.01 && metrics.horizontalAdvance(u' ') == metrics.horizontalAdvance(u'W');
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
    slot = std::make_unique<LineView>(std::move(shown), font(), viewport());
    LineView& view = *slot;
    view.links = logtext::FindLinks(view.shown.text);

    QList<QTextLayout::FormatRange> formats;
    for (const logtext::StyleSpan& span : view.shown.spans) {
        formats.append({span.start, span.length, CharFormat(span.style)});
    }
    for (const logtext::TextRange& link : view.links) {
        QTextCharFormat underline;
        underline.setFontUnderline(true);
        formats.append({link.start, link.length, underline});
    }
    view.layout.setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view.layout.setTextOption(option);
    view.layout.setCacheEnabled(true);
    const int width = LayoutWidth();
    int rows = 0;
    view.layout.beginLayout();
    for (QTextLine row = view.layout.createLine(); row.isValid(); row = view.layout.createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, rows * rowHeight_));
        ++rows;
    }
    view.layout.endLayout();
    view.rows = std::max(1, rows);
    return view;
}

int LogWidget::RowsOf(std::int64_t line)
{
    if (const auto it = views_.find(line); it != views_.end()) {
        return it->second->rows;
    }
    if (monospace_) {
        const std::string_view utf8 = store_.LineUtf8(line);
        const logtext::ByteScan scan = logtext::ScanBytes(utf8);
        // One advance to spare for rounding: a line near the edge is laid out.
        if (scan.ascii && !scan.controls && static_cast<double>(utf8.size() + 1) * advance_ <= LayoutWidth()) {
            return 1;
        }
    }
    return View(line).rows;
}

void LogWidget::LayOutVisible()
{
    SyncWidth();
    visible_.clear();
    const int height = viewport()->height();
    int y = 0;
    for (std::int64_t line = verticalScrollBar()->value(); line < store_.LineCount() && y < height; ++line) {
        visible_.push_back({line, y});
        y += View(line).rows * rowHeight_;
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
        viewport()->update(0, visible->y, viewport()->width(), views_.at(line)->rows * rowHeight_);
    }
}

void LogWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::white);
    painter.setPen(Qt::black);
    LayOutVisible();

    const std::int64_t selectionStart = SelectionStart();
    const std::int64_t selectionEnd = selectionStart + SelectionLength();
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    QTextCharFormat hovered;
    hovered.setForeground(QColor(0, 0, 0xCC));

    for (const VisibleLine& visible : visible_) {
        LineView& view = View(visible.line);
        const QRect area(0, visible.y, viewport()->width(), view.rows * rowHeight_);
        if (!area.intersects(event->rect())) {
            continue;
        }
        QList<QTextLayout::FormatRange> overlays;
        if (hoverLink_.line == visible.line) {
            const logtext::TextRange& link = view.links[static_cast<std::size_t>(hoverLink_.index)];
            overlays.append({link.start, link.length, hovered});
        }
        if (selectionEnd > selectionStart) {
            const std::int64_t lineStart = store_.LineStart(visible.line);
            const std::int64_t length = store_.LineLength(visible.line);
            const auto from = static_cast<int>(std::clamp<std::int64_t>(selectionStart - lineStart, 0, length));
            const auto to = static_cast<int>(std::clamp<std::int64_t>(selectionEnd - lineStart, 0, length));
            const int shownFrom = view.shown.ShownIndex(from);
            const int shownTo = view.shown.ShownIndex(to);
            if (shownTo > shownFrom) {
                overlays.append({shownFrom, shownTo - shownFrom, selected});
            }
        }
        view.layout.draw(&painter, QPointF(kMargin, visible.y), overlays, event->rect());
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
    // The top line stays where it is unless the log follows its end.
    UpdateScrollRange();
    if (AtEnd()) {
        ScrollTo(tailFirst_);
    }
}

void LogWidget::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
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
    QScrollBar* bar = verticalScrollBar();
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

LogWidget::Hit LogWidget::HitAt(QPoint point, QTextLine::CursorPosition mode)
{
    LayOutVisible();
    if (visible_.empty()) {
        return {-1, 0, store_.TextLength()};
    }
    const VisibleLine& last = visible_.back();
    const int bottom = last.y + View(last.line).rows * rowHeight_;
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
    const int row = std::clamp((y - it->y) / rowHeight_, 0, std::max(0, view.layout.lineCount() - 1));
    int shown = 0;
    if (view.layout.lineCount() > 0) {
        shown = view.layout.lineAt(row).xToCursor(point.x() - kMargin, mode);
    }
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
    if (visible == nullptr || view.links.empty() || view.layout.lineCount() == 0 ||
        point.y() >= visible->y + view.rows * rowHeight_) {
        return {};
    }
    // Past the end of a row is not on its last character.
    const int row = std::clamp((point.y() - visible->y) / rowHeight_, 0, view.layout.lineCount() - 1);
    const QTextLine textRow = view.layout.lineAt(row);
    if (point.x() - kMargin >= textRow.naturalTextWidth() || point.x() < kMargin) {
        return {};
    }
    for (std::size_t i = 0; i < view.links.size(); ++i) {
        const logtext::TextRange& link = view.links[i];
        if (hit.shown >= link.start && hit.shown < link.start + link.length) {
            return {hit.line, static_cast<int>(i)};
        }
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

} // namespace tellix
