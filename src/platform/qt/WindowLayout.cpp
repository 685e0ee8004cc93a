#include "platform/qt/WindowLayout.h"

#include <QApplication>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <utility>

namespace tellix {

namespace {

// Set on a window put away: the state it comes back in.
constexpr const char* kPutAway = "tellixPutAway";
constexpr const char* kDeaf = "tellixDeaf";

// Every window of an area hears each change of the keyboard's place in the whole program, to
// activate itself when the keyboard comes into it: with hundreds put away, a switch would
// call each of them. None can take the keyboard while away, so it stops listening meanwhile.
// Said by name, as the class declares it; where it is not there, the window keeps listening.
void StopHearingFocus(QMdiSubWindow& window)
{
    if (!window.property(kDeaf).toBool() &&
        QObject::disconnect(qApp, SIGNAL(focusChanged(QWidget*, QWidget*)), &window,
                            SLOT(_q_processFocusChanged(QWidget*, QWidget*)))) {
        window.setProperty(kDeaf, true);
    }
}

void HearFocusAgain(QMdiSubWindow& window)
{
    if (window.property(kDeaf).toBool()) {
        window.setProperty(kDeaf, QVariant());
        QObject::connect(qApp, SIGNAL(focusChanged(QWidget*, QWidget*)), &window,
                         SLOT(_q_processFocusChanged(QWidget*, QWidget*)), Qt::UniqueConnection);
    }
}

constexpr Qt::WindowStates kKeptStates = Qt::WindowMinimized | Qt::WindowMaximized;

} // namespace

WindowLayout::WindowLayout(QMdiArea& area) : QObject(&area), area_(area)
{
    setObjectName(QStringLiteral("windowLayout"));
    // Activated does it, keeping the keyboard where it is: the area's own way hands it on.
    area_.setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    viewport_ = area_.viewport();
    area_.viewport()->installEventFilter(this);
    away_ = new QWidget(&area_);
    away_->setObjectName(QStringLiteral("windows put away"));
    away_->hide();
    connect(&area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) { Activated(window); });
}

WindowLayout* WindowLayout::Of(const QMdiArea& area)
{
    // By its type, which qobject_cast would not know: the class has no meta-object of its own.
    for (QObject* const child : area.children()) {
        if (auto* const layout = dynamic_cast<WindowLayout*>(child); layout != nullptr) {
            return layout;
        }
    }
    return nullptr;
}

WindowLayout::Mode WindowLayout::Read(std::string_view stored)
{
    const QString word =
        QString::fromUtf8(stored.data(), static_cast<qsizetype>(stored.size())).trimmed().toLower();
    return word == QLatin1String(Write(Mode::Overlapping)) ? Mode::Overlapping : Mode::OneAtATime;
}

std::string_view WindowLayout::Write(Mode mode)
{
    return mode == Mode::Overlapping ? "overlapping" : "one at a time";
}

void WindowLayout::Adopt(QMdiSubWindow* window)
{
    if (window == nullptr) {
        return;
    }
    const Qt::WindowFlags flags = OneAtATime() ? window->windowFlags() | Qt::FramelessWindowHint
                                               : window->windowFlags() & ~Qt::FramelessWindowHint;
    if (flags != window->windowFlags()) {
        window->setWindowFlags(flags);
    }
    window->installEventFilter(this);
}

void WindowLayout::SetMode(Mode mode)
{
    if (mode == mode_) {
        return;
    }
    mode_ = mode;
    // The windows waiting beside a full area too.
    for (QMdiSubWindow* window : area_.findChildren<QMdiSubWindow*>()) {
        if (window->mdiArea() == &area_ || window->mdiArea() == nullptr) {
            Adopt(window);
        }
    }
    // The area's own idea of the current window follows the order windows came back in.
    QMdiSubWindow* const front = front_ ? front_.data() : area_.currentSubWindow();
    if (OneAtATime()) {
        if (front != nullptr) {
            Fill(*front, true);
            for (QMdiSubWindow* window : area_.subWindowList()) {
                if (window != front) {
                    PutAway(*window);
                }
            }
        }
        return;
    }
    for (QMdiSubWindow* window : away_->findChildren<QMdiSubWindow*>(Qt::FindDirectChildrenOnly)) {
        BringBack(*window, true);
    }
    if (front != nullptr) {
        front->raise();
    }
}

bool WindowLayout::IsPutAway(const QMdiSubWindow& window)
{
    return window.property(kPutAway).isValid();
}

Qt::WindowStates WindowLayout::AwayState(const QMdiSubWindow& window)
{
    return Qt::WindowStates(window.property(kPutAway).toInt()) & kKeptStates;
}

void WindowLayout::SetAwayState(QMdiSubWindow& window, Qt::WindowStates state)
{
    if (IsPutAway(window)) {
        window.setProperty(kPutAway, static_cast<int>(state & kKeptStates));
    }
}

void WindowLayout::Unmark(QMdiSubWindow& window)
{
    HearFocusAgain(window);
    window.setProperty(kPutAway, QVariant());
}

void WindowLayout::Release(QMdiSubWindow& window)
{
    if (IsPutAway(window)) {
        Unmark(window);
        Unpark(window);
    }
}

void WindowLayout::Park(QMdiSubWindow& window)
{
    parking_ = true;
    // Moved straight across, the area letting go of it as it leaves: taken out through the
    // area, it would pass through having no parent, and leaving the main window walks every
    // widget the main window has.
    window.setParent(away_, window.windowFlags());
    window.hide(); // one never shown would be shown with its new parent otherwise
    parking_ = false;
}

void WindowLayout::Unpark(QMdiSubWindow& window)
{
    if (window.parentWidget() == away_) {
        parking_ = true;
        area_.addSubWindow(&window);
        parking_ = false;
    }
}

void WindowLayout::PutAway(QMdiSubWindow& window)
{
    if (!OneAtATime() || window.isHidden() || window.mdiArea() != &area_) {
        return;
    }
    window.setProperty(kPutAway, static_cast<int>(window.windowState() & kKeptStates));
    window.hide();
    StopHearingFocus(window);
    Park(window);
}

void WindowLayout::KeepAway(QMdiSubWindow& window, Qt::WindowStates state)
{
    if (!OneAtATime() || !window.isHidden()) {
        return;
    }
    window.setProperty(kPutAway, static_cast<int>(state & kKeptStates));
    StopHearingFocus(window);
    Park(window);
}

void WindowLayout::BringBack(QMdiSubWindow& window, bool behind)
{
    if (!IsPutAway(window)) {
        return;
    }
    // Where windows come one at a time, each fills the area; among overlapping ones it comes
    // back as it went. Behind, it is shown disabled, which keeps it from taking the activation.
    const Qt::WindowStates state = OneAtATime() ? Qt::WindowMaximized : AwayState(window);
    Unmark(window);
    Unpark(window);
    const bool enabled = window.isEnabled();
    window.setEnabled(enabled && !behind);
    if (state & Qt::WindowMinimized) {
        window.showMinimized();
    } else if (state & Qt::WindowMaximized) {
        window.showMaximized();
    } else {
        window.showNormal();
    }
    window.setEnabled(enabled);
}

void WindowLayout::Fill(QMdiSubWindow& window, bool filled)
{
    if (window.isMaximized() == filled) {
        return;
    }
    // The area hides a window while it changes its state, and the keyboard would move on to
    // the next widget in the chain meanwhile, another window's.
    QPointer<QWidget> focus = QApplication::focusWidget();
    if (!window.isAncestorOf(focus)) {
        focus = nullptr; // another window's: taken back, it would activate that one again
    }
    // A window shown again activates itself unless it is disabled: one behind stays behind.
    const bool behind = area_.activeSubWindow() != &window && window.isEnabled();
    if (behind) {
        window.setEnabled(false);
    }
    if (filled) {
        window.showMaximized();
    } else {
        window.showNormal();
    }
    if (behind) {
        window.setEnabled(true);
    }
    if (focus && focus != QApplication::focusWidget() && focus->isVisible()) {
        focus->setFocus(Qt::OtherFocusReason);
    }
}

void WindowLayout::Show(QMdiSubWindow* window, bool keyboard)
{
    if (window == nullptr) {
        return;
    }
    settling_ = false; // asked for: this one is in front, whatever the area chose meanwhile
    const QPointer<QWidget> typing = QApplication::focusWidget();
    BringBack(*window, false);
    // A window that opened minimized while the area was full waits beside it until asked for.
    if (window->mdiArea() == nullptr) {
        area_.addSubWindow(window);
        if (!OneAtATime()) {
            window->showNormal();
        }
    }
    if (!OneAtATime() && window->isMinimized()) {
        window->showNormal();
    }
    if (area_.activeSubWindow() != window) {
        area_.setActiveSubWindow(window);
    } else if (front_ != window) {
        Take(*window);
    }
    if (OneAtATime()) {
        Fill(*window, true);
    }
    if (QWidget* const inner = window->widget(); keyboard && inner != nullptr) {
        inner->setFocus(Qt::OtherFocusReason);
    } else if (!keyboard && typing && typing != QApplication::focusWidget() && !area_.isAncestorOf(typing)) {
        typing->setFocus(Qt::OtherFocusReason); // the window took it as it was activated
    }
}

void WindowLayout::Activated(QMdiSubWindow* window)
{
    // None: the program lost the focus, or the window in front is going.
    if (window != nullptr && !settling_) {
        Take(*window);
    }
}

void WindowLayout::Take(QMdiSubWindow& window)
{
    if (const auto at = usedAt_.find(&window); at != usedAt_.end()) {
        used_.splice(used_.end(), used_, at->second);
    } else {
        usedAt_.emplace(&window, used_.insert(used_.end(), &window));
        // The key only: the window is half gone when it says so.
        connect(&window, &QObject::destroyed, this, [this, gone = &window] {
            if (const auto it = usedAt_.find(gone); it != usedAt_.end()) {
                used_.erase(it->second);
                usedAt_.erase(it);
            }
        });
    }
    QMdiSubWindow* const previous = std::exchange(front_, &window);
    // As desktop programs do: beside a maximized window the next one comes maximized too, and
    // the one before goes back to its place behind it, where a change of the area's size does
    // not reach it.
    const bool filled = previous != nullptr && previous != &window && previous->isMaximized();
    if (OneAtATime() || filled) {
        Fill(window, true);
    }
    if (OneAtATime() && previous != nullptr && previous != &window) {
        PutAway(*previous);
    } else if (filled && !previous->isHidden()) {
        Fill(*previous, false);
    }
    window.raise(); // over the one put back, which came up as it was shown again
}

bool WindowLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->property(kPutAway).isValid()) {
        if (auto* const window = qobject_cast<QMdiSubWindow*>(watched); window != nullptr) {
            Unmark(*window); // shown by someone else: in view again
        }
    }
    // A window of the area destroyed, or the one in front closing (the core may refuse).
    // The viewport compared by address: it says so while the area is being destroyed too.
    if ((event->type() == QEvent::ChildRemoved && watched == viewport_ && !parking_) ||
        (event->type() == QEvent::Close && watched == front_)) {
        Unsettle();
    }
    return QObject::eventFilter(watched, event);
}

void WindowLayout::Unsettle()
{
    if (settling_) {
        return;
    }
    settling_ = true;
    frontFilled_ = front_ && front_->isMaximized();
    frontTyping_ = front_ && front_->isAncestorOf(QApplication::focusWidget());
    QMetaObject::invokeMethod(
        this, [this] { Settle(); }, Qt::QueuedConnection);
}

void WindowLayout::Settle()
{
    if (!settling_) {
        return; // a window was asked for meanwhile
    }
    settling_ = false;
    const auto present = [](const QMdiSubWindow* window) {
        return window != nullptr && (IsPutAway(*window) || (!window->isHidden() && window->mdiArea() != nullptr));
    };
    QMdiSubWindow* target = front_;
    const bool went = !present(target);
    if (went) {
        const auto latest = std::find_if(used_.rbegin(), used_.rend(),
                                         [&present](const QMdiSubWindow* used) { return present(used); });
        if (latest == used_.rend()) {
            return;
        }
        target = *latest;
        front_ = nullptr; // gone: nothing to put back behind the next
        if (frontFilled_ || OneAtATime()) {
            Fill(*target, true);
        }
    }
    BringBack(*target, false);
    if (area_.activeSubWindow() != target) {
        area_.setActiveSubWindow(target);
    } else {
        Take(*target);
    }
    if (!went) {
        return;
    }
    // The keyboard was in the window that went, and moved on to a neighbour of it: it goes
    // where typing goes in the window now in front. Elsewhere (the tree, a dialog) it stays.
    const QWidget* const focus = QApplication::focusWidget();
    if (QWidget* const inner = target->widget();
        inner != nullptr && (frontTyping_ || focus == nullptr || area_.isAncestorOf(focus))) {
        inner->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace tellix
