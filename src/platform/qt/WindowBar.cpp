#include "platform/qt/WindowBar.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolButton>

namespace tellix {

WindowBar::WindowBar(QMdiArea& area, Activate activate, QWidget* parent)
    : QToolBar(QStringLiteral("Windows"), parent), area_(area), activate_(std::move(activate))
{
    setObjectName(QStringLiteral("windowBar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
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
    // Made without a parent: the bar takes it in, and a button made in the main window would
    // first be taken out of it, a walk over every widget of every window.
    auto* button = new QToolButton();
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setText(Label(child->windowTitle()));
    button->setToolTip(child->windowTitle());
    Entry entry;
    entry.button = button;
    entry.action = addWidget(button);
    entries_.insert(child, entry);
    windows_.insert(entry.action, child);
    connect(child, &QWidget::windowTitleChanged, button, [button](const QString& title) {
        button->setText(Label(title));
        button->setToolTip(title);
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
    const Entry entry = entries_.take(child);
    if (entry.button == nullptr) {
        return;
    }
    if (pressed_ == child) {
        pressed_ = nullptr;
    }
    windows_.remove(entry.action);
    removeAction(entry.action);
    entry.button->deleteLater();
}

void WindowBar::Press(QMdiSubWindow* child)
{
    if (child == pressed_) {
        return;
    }
    if (const auto it = entries_.constFind(pressed_); it != entries_.cend()) {
        it->button->setChecked(false);
    }
    pressed_ = nullptr;
    if (const auto it = entries_.constFind(child); it != entries_.cend()) {
        it->button->setChecked(true);
        pressed_ = child;
    }
}

void WindowBar::ShowActivity(QMdiSubWindow* child, Activity level)
{
    const auto it = entries_.find(child);
    if (it == entries_.end() || it->level == level) {
        return;
    }
    it->level = level;
    Paint(*it);
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
    // Light to dark or back: the colours are chosen again for the new palette.
    if (event->type() == QEvent::PaletteChange) {
        for (const Entry& entry : std::as_const(entries_)) {
            if (entry.level != Activity::None) {
                Paint(entry);
            }
        }
    }
}

Activity WindowBar::Level(QMdiSubWindow* child) const
{
    return entries_.value(child).level;
}

QToolButton* WindowBar::Button(QMdiSubWindow* child) const
{
    return entries_.value(child).button;
}

QMdiSubWindow* WindowBar::Numbered(int number) const
{
    const QList<QAction*> order = actions();
    return number >= 1 && number <= order.size() ? windows_.value(order[number - 1]) : nullptr;
}

int WindowBar::Position(QMdiSubWindow* child, const QList<QAction*>& order) const
{
    const auto it = entries_.constFind(child);
    return it == entries_.cend() ? -1 : static_cast<int>(order.indexOf(it->action));
}

QMdiSubWindow* WindowBar::Step(int step) const
{
    const QList<QAction*> order = actions();
    if (order.isEmpty()) {
        return nullptr;
    }
    const auto count = static_cast<int>(order.size());
    const int at = Position(area_.activeSubWindow(), order);
    const int next = at < 0 ? (step > 0 ? 0 : count - 1) : ((at + step) % count + count) % count;
    return windows_.value(order[next]);
}

QMdiSubWindow* WindowBar::Hottest() const
{
    const QList<QAction*> order = actions();
    const auto count = static_cast<int>(order.size());
    const int at = Position(area_.activeSubWindow(), order);
    QMdiSubWindow* hottest = nullptr;
    Activity best = Activity::None;
    for (int i = 1; i <= count; ++i) {
        QMdiSubWindow* const child = windows_.value(order[(at + i) % count]);
        if (const Activity level = Level(child); level > best) {
            best = level;
            hottest = child;
        }
    }
    return hottest;
}

} // namespace tellix
