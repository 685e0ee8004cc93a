#include "platform/qt/WindowBar.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace tellix {

// The visible part of the row of buttons. The wheel scrolls it sideways, as a tab bar does.
class WindowBar::Strip final : public QScrollArea {
public:
    explicit Strip(WindowBar& bar) : QScrollArea(&bar), bar_(bar)
    {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        viewport()->setAutoFillBackground(false);
    }

    QSize sizeHint() const override { return minimumSizeHint(); }
    QSize minimumSizeHint() const override
    {
        return {fontMetrics().horizontalAdvance(QStringLiteral("MMMM")), height()};
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        const QPoint delta = event->angleDelta();
        QScrollBar& scroll = *horizontalScrollBar();
        scroll.setValue(scroll.value() - (delta.x() != 0 ? delta.x() : delta.y()));
        event->accept();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QScrollArea::resizeEvent(event);
        bar_.ShowArrows();
        bar_.ShowInView();
    }

private:
    WindowBar& bar_;
};

namespace {

// As wide as the label in bold, so that a button taking on activity moves no other.
int ButtonWidth(const QToolButton& button)
{
    QFont bold = button.font();
    bold.setBold(true);
    const int extra = QFontMetrics(bold).horizontalAdvance(button.text()) -
                      button.fontMetrics().horizontalAdvance(button.text());
    return button.sizeHint().width() + std::max(extra, 0);
}

QToolButton* Arrow(Qt::ArrowType type, const QString& tip)
{
    auto* arrow = new QToolButton();
    arrow->setArrowType(type);
    arrow->setAutoRaise(true);
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
    arrow->setToolTip(tip);
    return arrow;
}

} // namespace

WindowBar::WindowBar(QMdiArea& area, Activate activate, QWidget* parent)
    : QToolBar(QStringLiteral("Windows"), parent), area_(area), activate_(std::move(activate))
{
    setObjectName(QStringLiteral("windowBar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    strip_ = new Strip(*this);
    row_ = new QWidget();
    row_->setAutoFillBackground(false);
    row_->setAttribute(Qt::WA_StaticContents); // growing for a new button repaints only that
    group_ = new QButtonGroup(this);
    group_->setExclusive(false);
    strip_->setWidget(row_);
    addWidget(strip_);
    QToolButton* back = Arrow(Qt::LeftArrow, QStringLiteral("Earlier windows"));
    QToolButton* forth = Arrow(Qt::RightArrow, QStringLiteral("Later windows"));
    back_ = addWidget(back);
    forth_ = addWidget(forth);
    back_->setVisible(false);
    forth_->setVisible(false);
    connect(back, &QToolButton::clicked, this, [this] { Scroll(-1); });
    connect(forth, &QToolButton::clicked, this, [this] { Scroll(1); });
    connect(strip_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { ShowInView(); });
    connect(&area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* child) { Press(child); });
}

QString WindowBar::Label(const QString& caption)
{
    static const QString separator = QStringLiteral(" - ");
    const qsizetype at = caption.lastIndexOf(separator);
    QString label = at < 0 ? caption : caption.mid(at + separator.size());
    // A channel named "&local" is text, not an access key.
    return label.replace('&', QStringLiteral("&&"));
}

QColor WindowBar::LevelColour(Activity level, const QPalette& palette)
{
    const bool dark = palette.color(QPalette::Button).lightness() < 128;
    switch (level) {
    case Activity::None:
        break;
    case Activity::Events:
        return dark ? QColor(0x8a, 0xb4, 0xf8) : QColor(0x34, 0x65, 0xa4);
    case Activity::Messages:
        return dark ? QColor(0xff, 0xa3, 0x48) : QColor(0xa6, 0x4b, 0x00);
    case Activity::Highlight:
        return dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xc0, 0x1c, 0x28);
    }
    return palette.color(QPalette::ButtonText);
}

void WindowBar::Add(QMdiSubWindow* child)
{
    if (child == nullptr || entries_.contains(child)) {
        return;
    }
    Entry& entry = entries_[child];
    entry.child = child;
    entry.position = order_.size();
    // Made in its place: a widget made elsewhere and moved in would be taken out of the
    // focus chain it came from, a walk over every widget of that window.
    auto* button = new QToolButton(row_);
    entry.button = button;
    button->setCheckable(true);
    group_->addButton(button);
    button->setAutoRaise(true);
    button->setText(Label(child->windowTitle()));
    button->setToolTip(child->windowTitle());
    order_.push_back(&entry);
    if (const int height = button->sizeHint().height(); height > height_) {
        height_ = height;
        strip_->setFixedHeight(height_);
        PlaceFrom(0);
    }
    if (unplacedFrom_ == kNoneUnplaced) {
        unplacedFrom_ = entry.position;
        Place();
    }
    connect(child, &QWidget::windowTitleChanged, button, [this, child](const QString& caption) {
        if (const auto it = entries_.find(child); it != entries_.end()) {
            Relabel(it->second, caption);
        }
    });
    connect(button, &QToolButton::clicked, this, [this, button, child] {
        button->setChecked(child == pressed_); // pressed follows the activation, not the click
        activate_(child);
    });
    // The key only: the window is half gone when it says so.
    connect(child, &QObject::destroyed, this, [this, child] { Remove(child); });
    if (child == area_.activeSubWindow()) {
        Press(child);
    }
}

void WindowBar::Remove(QMdiSubWindow* child)
{
    const auto it = entries_.find(child);
    if (it == entries_.end()) {
        return;
    }
    const Entry& entry = it->second;
    if (pressed_ == child) {
        pressed_ = nullptr;
    }
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(entry.position));
    for (std::size_t position = entry.position; position < order_.size(); ++position) {
        order_[position]->position = position;
    }
    PlaceFrom(entry.position);
    // Later: the removal may come from inside the button's own click.
    std::erase(shown_, entry.button);
    group_->removeButton(entry.button);
    entry.button->hide();
    entry.button->deleteLater();
    entries_.erase(it);
}

void WindowBar::Relabel(Entry& entry, const QString& caption)
{
    entry.button->setToolTip(caption);
    const QString label = Label(caption);
    if (label == entry.button->text()) {
        return; // only the number moved
    }
    const int before = ButtonWidth(*entry.button);
    entry.button->setText(label);
    if (ButtonWidth(*entry.button) != before) {
        PlaceFrom(entry.position);
    }
}

void WindowBar::PlaceFrom(std::size_t position)
{
    if (unplacedFrom_ == kNoneUnplaced) {
        QMetaObject::invokeMethod(
            this, [this] { Place(); }, Qt::QueuedConnection);
    }
    unplacedFrom_ = std::min(unplacedFrom_, position);
}

void WindowBar::Place()
{
    const std::size_t from = std::exchange(unplacedFrom_, kNoneUnplaced);
    if (from == kNoneUnplaced) {
        return;
    }
    const int spacing = style()->pixelMetric(QStyle::PM_ToolBarItemSpacing, nullptr, this);
    int x = 0;
    if (from > 0 && from <= order_.size()) {
        const QRect previous = order_[from - 1]->button->geometry();
        x = previous.x() + previous.width() + spacing;
    }
    for (std::size_t position = from; position < order_.size(); ++position) {
        QToolButton& button = *order_[position]->button;
        const int width = ButtonWidth(button);
        button.setGeometry(x, 0, width, height_);
        x += width + spacing;
    }
    row_->resize(std::max(x - spacing, 0), height_);
    ShowArrows();
    if (const auto it = entries_.find(pressed_); std::exchange(reveal_, false) && it != entries_.end()) {
        strip_->ensureWidgetVisible(it->second.button, 0, 0);
    }
    ShowInView();
}

void WindowBar::ShowInView()
{
    if (unplacedFrom_ != kNoneUnplaced) {
        return; // placing comes back here
    }
    const int left = strip_->horizontalScrollBar()->value();
    const int right = left + strip_->viewport()->width();
    auto inView = [left, right](const QToolButton* button) {
        return button->x() < right && button->x() + button->width() > left;
    };
    std::erase_if(shown_, [&](QToolButton* button) {
        if (inView(button)) {
            return false;
        }
        button->hide();
        return true;
    });
    auto first = std::partition_point(order_.begin(), order_.end(), [left](const Entry* entry) {
        return entry->button->x() + entry->button->width() <= left;
    });
    for (; first != order_.end() && inView((*first)->button); ++first) {
        QToolButton* const button = (*first)->button;
        if (button->isHidden()) {
            button->show();
            shown_.push_back(button);
        }
    }
}

void WindowBar::ShowArrows()
{
    const bool over = row_->width() > strip_->viewport()->width();
    back_->setVisible(over);
    forth_->setVisible(over);
}

void WindowBar::Scroll(int direction)
{
    QScrollBar& scroll = *strip_->horizontalScrollBar();
    scroll.setValue(scroll.value() + direction * std::max(strip_->viewport()->width() * 3 / 4, 1));
}

void WindowBar::Press(QMdiSubWindow* child)
{
    if (child == pressed_) {
        return;
    }
    if (const auto it = entries_.find(pressed_); it != entries_.end()) {
        it->second.button->setChecked(false);
    }
    pressed_ = nullptr;
    if (const auto it = entries_.find(child); it != entries_.end()) {
        it->second.button->setChecked(true);
        pressed_ = child;
        if (unplacedFrom_ == kNoneUnplaced) {
            strip_->ensureWidgetVisible(it->second.button, 0, 0);
        } else {
            reveal_ = true;
        }
    }
}

void WindowBar::ShowActivity(QMdiSubWindow* child, Activity level)
{
    const auto it = entries_.find(child);
    if (it == entries_.end() || it->second.level == level) {
        return;
    }
    it->second.level = level;
    Paint(it->second);
}

void WindowBar::Paint(const Entry& entry) const
{
    QToolButton& button = *entry.button;
    button.setProperty("activity", static_cast<int>(entry.level));
    if (entry.level == Activity::None) {
        button.setPalette(QPalette());
        button.setFont(QFont());
        return;
    }
    QPalette palette = this->palette();
    const QColor colour = LevelColour(entry.level, palette);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::WindowText, colour);
    button.setPalette(palette);
    QFont font = this->font();
    font.setBold(entry.level >= Activity::Messages);
    button.setFont(font);
}

void WindowBar::changeEvent(QEvent* event)
{
    QToolBar::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange: // light to dark or back: the colours are chosen again
        for (const auto& [child, entry] : entries_) {
            if (entry.level != Activity::None) {
                Paint(entry);
            }
        }
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange: // every button measures anew
        height_ = 0;
        for (const auto& [child, entry] : entries_) {
            Paint(entry);
            height_ = std::max(height_, entry.button->sizeHint().height());
        }
        strip_->setFixedHeight(std::max(height_, 1));
        PlaceFrom(0);
        break;
    default:
        break;
    }
}

Activity WindowBar::Level(QMdiSubWindow* child) const
{
    const auto it = entries_.find(child);
    return it == entries_.end() ? Activity::None : it->second.level;
}

QToolButton* WindowBar::Button(QMdiSubWindow* child) const
{
    const auto it = entries_.find(child);
    return it == entries_.end() ? nullptr : it->second.button;
}

QMdiSubWindow* WindowBar::Numbered(int number) const
{
    return number >= 1 && number <= Count() ? order_[static_cast<std::size_t>(number - 1)]->child : nullptr;
}

int WindowBar::Position(QMdiSubWindow* child) const
{
    const auto it = entries_.find(child);
    return it == entries_.end() ? -1 : static_cast<int>(it->second.position);
}

QMdiSubWindow* WindowBar::Step(int step) const
{
    if (order_.empty()) {
        return nullptr;
    }
    const int count = Count();
    const int at = Position(area_.activeSubWindow());
    const int next = at < 0 ? (step > 0 ? 0 : count - 1) : ((at + step) % count + count) % count;
    return order_[static_cast<std::size_t>(next)]->child;
}

QMdiSubWindow* WindowBar::Hottest() const
{
    const int count = Count();
    const int at = Position(area_.activeSubWindow());
    QMdiSubWindow* hottest = nullptr;
    Activity best = Activity::None;
    for (int i = 1; i <= count; ++i) {
        const Entry& entry = *order_[static_cast<std::size_t>((at + i) % count)];
        if (entry.level > best) {
            best = entry.level;
            hottest = entry.child;
        }
    }
    return hottest;
}

} // namespace tellix
