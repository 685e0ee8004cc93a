#include "platform/qt/QtChildView.h"

#include "app/Settings.h"
#include "platform/SettingsStore.h"
#include "platform/qt/AsciiGlyphs.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/NickListModel.h"
#include "platform/qt/Notifier.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/TextDecoding.h"
#include "platform/qt/TopicBar.h"
#include "platform/qt/WindowLayout.h"
#include "platform/qt/WindowTreeModel.h"
#include "platform/qtcore/Boundary.h"
#include "util/LineRoad.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

namespace tellix {

namespace {

// "Courier New" where it exists; otherwise a face with the same metrics.
QFont WindowFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::TypeWriter);
    QFont::insertSubstitutions(
        QStringLiteral("Courier New"),
        {QStringLiteral("Liberation Mono"), QStringLiteral("Cousine"), QStringLiteral("DejaVu Sans Mono")});
    return font;
}

constexpr int kInputUnits = 12;
constexpr int kSplitWidth = 5;     // the handle's grip, in pixels
constexpr int kNarrowestList = 40; // what a drag leaves the list and the log at the least
constexpr int kNarrowestLog = 120;

// The grip between log and list: it reports where the mouse holding it is, in its parent's
// coordinates, and when it lets go.
class SplitGrip final : public QWidget {
public:
    SplitGrip(QWidget* parent, std::function<void(int)> moved, std::function<void()> released)
        : QWidget(parent), moved_(std::move(moved)), released_(std::move(released))
    {
        setCursor(Qt::SplitHCursor);
        setObjectName(QStringLiteral("nickListSplit"));
    }

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (event->buttons() & Qt::LeftButton) {
            moved_(mapToParent(event->position().toPoint()).x());
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            released_();
        }
    }

private:
    std::function<void(int)> moved_;
    std::function<void()> released_;
};

// Holds, hidden, the forms that wait beside a full area.
const QString kWaitingRoom = QStringLiteral("waiting windows");

// Where the next new window of an area goes in its cascade.
const char* const kCascade = "tellixCascade";

// Text typed while the log or the nick list has the keyboard belongs in the input line; keys
// with Ctrl or Alt (copying, finding) stay with the control.
class TypingGoesToInput final : public QObject {
public:
    TypingGoesToInput(QLineEdit* input, QObject* parent) : QObject(parent), input_(input) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || input_ == nullptr) {
            return QObject::eventFilter(watched, event);
        }
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool printable = !text.isEmpty() && text.front().isPrint();
        if (!printable || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
            return QObject::eventFilter(watched, event);
        }
        input_->setFocus(Qt::OtherFocusReason);
        QCoreApplication::sendEvent(input_, key);
        return true;
    }

private:
    QPointer<QLineEdit> input_;
};

// A query's header: its text can be selected once the mouse comes to it. Selectable from the
// start, the label would keep a text document of its own, a tenth of the memory of a window
// that a stranger's first line opens.
class PartnerHeader final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::Enter && !(textInteractionFlags() & Qt::TextSelectableByMouse)) {
            setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
        return QLabel::event(event);
    }
};

// A nick is one line of plain text: drawn directly, it costs a fraction of what the style's
// general item painting does, and a names reply repaints whole lists.
class NickDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const QPalette::ColorGroup group =
            option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        if (selected) {
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        }
        // Someone away is drawn as the palette draws what is out of use.
        const bool away = !selected && index.data(NickListModel::AwayRole).toBool();
        painter->setPen(option.palette.color(away ? QPalette::Disabled : group,
                                             selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        // One run of text at its baseline: the rectangle form of drawText formats the text first,
        // and eliding would lay it out again. The view clips what runs past its edge.
        const int baseline =
            option.rect.top() +
            (option.rect.height() + option.fontMetrics.ascent() - option.fontMetrics.descent()) / 2;
        const QPoint origin(option.rect.left() + kMargin, baseline);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!glyphs_.Draw(*painter, option.font, origin, text)) {
            painter->drawText(origin, text);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const override
    {
        return {option.rect.width(), option.fontMetrics.height() + 2};
    }

private:
    static constexpr int kMargin = 3;
    mutable AsciiGlyphs glyphs_;
};

} // namespace

// The form: its close box asks the core first.
class QtChildView::Form final : public QMdiSubWindow {
public:
    Form(QtChildView* view, QWidget* parent) : QMdiSubWindow(parent), view_(view)
    {
        connect(this, &QMdiSubWindow::aboutToActivate, this, [this] {
            if (view_ != nullptr) {
                view_->RaiseActivate();
            }
        });
        // Leaving a window marks where the user stopped reading; coming to it, the user reads.
        connect(this, &QMdiSubWindow::windowStateChanged, this,
                [this](Qt::WindowStates before, Qt::WindowStates now) {
                    if (view_ != nullptr && (before & Qt::WindowActive) && !(now & Qt::WindowActive)) {
                        view_->log_->MarkRead();
                    }
                    if (view_ != nullptr && !(before & Qt::WindowActive) && (now & Qt::WindowActive)) {
                        // Once the area counts it as its active window too.
                        QMetaObject::invokeMethod(
                            this,
                            [this] {
                                if (view_ != nullptr) {
                                    view_->RaiseSeen();
                                }
                            },
                            Qt::QueuedConnection);
                    }
                });
        // So is leaving the program while this window is the one in front: the window stays
        // active meanwhile, yet what comes is unread. The current window is asked for, as the
        // active one is none while another program has the focus.
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (view_ != nullptr && state != Qt::ApplicationActive && mdiArea() != nullptr &&
                mdiArea()->currentSubWindow() == this) {
                view_->log_->MarkRead();
            }
            if (view_ != nullptr && state == Qt::ApplicationActive) {
                view_->RaiseSeen(); // back to the program: the window in front is read
            }
        });
    }
    // The window base says its state changes as it is torn down, when this is a Form no more.
    ~Form() override
    {
        disconnect(this, nullptr, this, nullptr);
        disconnect(qGuiApp, nullptr, this, nullptr);
    }
    void Forget() { view_ = nullptr; }
    QtChildView* View() const { return view_; }
    void SayActivated()
    {
        if (view_ != nullptr) {
            view_->RaiseActivate();
        }
    }

protected:
    bool event(QEvent* event) override
    {
        const bool handled = QMdiSubWindow::event(event);
        if (event->type() == QEvent::ParentChange && systemMenu() == nullptr && mdiArea() != nullptr) {
            GiveSystemMenu();
        }
        return handled;
    }

    void closeEvent(QCloseEvent* event) override
    {
        bool cancel = false;
        if (view_ != nullptr) {
            // The view may be gone once the core has had its say.
            view_->RaiseQueryUnload(cancel);
        }
        if (cancel) {
            event->ignore();
        } else {
            QMdiSubWindow::closeEvent(event);
        }
    }

    void changeEvent(QEvent* event) override
    {
        QMdiSubWindow::changeEvent(event);
        if (event->type() == QEvent::WindowStateChange && view_ != nullptr) {
            if (!isMinimized()) {
                view_->ApplyPendingGeometry();
            }
            view_->RaiseResize();
        }
    }

    void moveEvent(QMoveEvent* event) override
    {
        QMdiSubWindow::moveEvent(event);
        if (view_ != nullptr) {
            view_->KeepNormalGeometry();
        }
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QMdiSubWindow::resizeEvent(event);
        if (view_ != nullptr) {
            view_->KeepNormalGeometry();
        }
    }

private:
    // The area's own menu is not made again once dropped: this one has what a person uses of it.
    void GiveSystemMenu()
    {
        auto* menu = new QMenu(this);
        menu->addAction(QStringLiteral("&Restore"), this, &QWidget::showNormal);
        menu->addAction(QStringLiteral("Mi&nimize"), this, &QWidget::showMinimized);
        menu->addAction(QStringLiteral("Ma&ximize"), this, &QWidget::showMaximized);
        menu->addSeparator();
        QAction* close = menu->addAction(QStringLiteral("&Close"), this, &QWidget::close);
        close->setShortcut(QKeySequence::Close);
        close->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(close);
        setSystemMenu(menu);
    }

    QtChildView* view_;
};

// The client area, where the core places the three controls.
class QtChildView::Client final : public QWidget {
public:
    explicit Client(QtChildView* view) : view_(view) {}
    void Forget() { view_ = nullptr; }
    QtChildView* View() const { return view_; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (view_ != nullptr) {
            view_->RaiseResize();
        }
    }

private:
    QtChildView* view_;
};

// The input line: the keys the core handles go to it first. Tab stays in the line (it completes
// nicks); Page Up and Page Down scroll the log.
class QtChildView::InputLine final : public QLineEdit {
public:
    InputLine(QtChildView* view, QWidget* parent) : QLineEdit(parent), view_(view) {}
    void Forget() { view_ = nullptr; }

protected:
    bool event(QEvent* event) override
    {
        // Before QWidget's own handling moves the focus on.
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
                keyPressEvent(key);
                return true;
            }
        }
        return QLineEdit::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (view_ == nullptr) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        if (event->matches(QKeySequence::Paste)) {
            if (!PasteTaken(QClipboard::Clipboard)) {
                QLineEdit::keyPressEvent(event);
            }
            return;
        }
        if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(view_->log_, event);
            return;
        }
        if (event->matches(QKeySequence::Find)) {
            view_->log_->OpenFind();
            return;
        }
        // The core may close this window, or end the program, while it answers a key.
        const QPointer<InputLine> alive(this);
        std::int32_t code = KeyCode(*event);
        view_->RaiseInputKeyDown(code);
        if (alive.isNull() || view_ == nullptr || code == 0) {
            return;
        }
        if (const QString text = event->text(); !text.isEmpty()) {
            std::int32_t character = text.front().unicode();
            view_->RaiseInputKeyPress(character);
            if (alive.isNull() || view_ == nullptr || character == 0) {
                return;
            }
        }
        QLineEdit::keyPressEvent(event);
    }

    // The menu's Paste goes the way Ctrl+V goes.
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        const QPointer<QMenu> menu = createStandardContextMenu();
        // Qt names the action in some versions; in all it shows the Paste keys beside it.
        const QString pasteKeys =
            QLatin1Char('\t') + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
        for (QAction* action : menu->actions()) {
            if (action->objectName() == QLatin1String("edit-paste") || action->text().endsWith(pasteKeys)) {
                action->disconnect();
                connect(action, &QAction::triggered, this, [this] {
                    if (!PasteTaken(QClipboard::Clipboard)) {
                        paste();
                    }
                });
            }
        }
        menu->exec(event->globalPos());
        delete menu.data();
    }

    // The middle button pastes the selection where the system has one.
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() &&
            !isReadOnly()) {
            // The press put the caret where the text goes; a selection is not replaced.
            deselect();
            if (PasteTaken(QClipboard::Selection)) {
                return;
            }
        }
        QLineEdit::mouseReleaseEvent(event);
    }

private:
    // Offers the clipboard's text to the core, which takes text of several lines; true when
    // it did (this line may be gone by then).
    bool PasteTaken(QClipboard::Mode mode)
    {
        const QString text = QGuiApplication::clipboard()->text(mode);
        if (view_ == nullptr || text.isEmpty()) {
            return false;
        }
        bool handled = false;
        view_->RaiseInputPaste(text.toStdString(), handled);
        return handled;
    }

    // The codes the core knows; every other key is one code that means none of them.
    static std::int32_t KeyCode(const QKeyEvent& event)
    {
        switch (event.key()) {
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Tab:
            return 9;
        default:
            return 255;
        }
    }

    QtChildView* view_;
};

QtChildView::QtChildView(QMdiArea& area) : area_(&area)
{
    // Past a few dozen windows the icons no longer fit the area, and each one added there costs
    // a placement against, a re-tiling of and a repaint over all the others: a window that opens
    // minimized then waits, hidden, beside the area until it is chosen in the Window menu. It is
    // made there: moved in, it would repaint the menu bar the area's maximized window uses.
    QWidget* waitingRoom = nullptr;
    if (area.subWindowList().size() >= kWindowsInArea) {
        // Not the area itself: it would take the form in as one of its windows.
        waitingRoom = area.findChild<QWidget*>(kWaitingRoom, Qt::FindDirectChildrenOnly);
        if (waitingRoom == nullptr) {
            waitingRoom = new QWidget(&area);
            waitingRoom->setObjectName(kWaitingRoom);
            waitingRoom->hide();
        }
    }
    form_ = new Form(this, waitingRoom);
    // Framed or not before it is first shown: a frame taken off later would leave its room.
    if (WindowLayout* const layout = WindowLayout::Of(area); layout != nullptr) {
        layout->Adopt(form_);
    }
    client_ = new Client(this);
    // Opaque: a label or scroll bar that changes repaints its own place, not the frame and
    // title bar of the window beneath it.
    client_->setAutoFillBackground(true);
    const QFont font = WindowFont();
    client_->setFont(font);

    log_ = new LogWidget(client_);
    log_->SetBaseFont(font);
    // Bound to the client: the view may go before its widgets do.
    QObject::connect(log_, &LogWidget::olderWanted, client_, [client = client_] {
        if (QtChildView* view = client->View(); view != nullptr) {
            AtBoundary("older lines", [&] { view->Events.WantOlder.raise(); });
        }
    });
    topic_ = new tellix::TopicBar(client_);
    topic_->hide();
    topic_->SetEdited(
        [this](const std::string& topic) { AtBoundary("topic edit", [&] { Events.TopicEdit.raise(topic); }); });

    model_ = new NickListModel(client_);
    // A list of one column in a table: its rows are sections of one fixed height, found by
    // arithmetic, where a list view lays out every row each time the rows change.
    split_ = new SplitGrip(
        client_, [this](int x) { DragSplit(x); },
        [this] {
            if (dragged_ > 0 && settings_ != nullptr) {
                settings_->SaveSetting(SettingsAppName(), std::string(settings::Section),
                                       std::string(settings::NickListWidth), std::to_string(dragged_));
            }
            dragged_ = 0;
        });
    users_ = new QTableView(client_);
    users_->setFont(font);
    users_->setModel(model_);
    users_->setItemDelegate(new NickDelegate(users_));
    users_->horizontalHeader()->hide();
    users_->horizontalHeader()->setStretchLastSection(true);
    users_->verticalHeader()->hide();
    users_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    users_->verticalHeader()->setMinimumSectionSize(1);
    users_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 2);
    users_->setShowGrid(false);
    users_->setWordWrap(false);
    users_->setSelectionBehavior(QAbstractItemView::SelectRows);
    users_->setTabKeyNavigation(false); // Tab leaves the list, as it leaves a list box
    users_->setFrameShape(QFrame::StyledPanel);
    // A scroll bar that comes and goes would lay a big list out twice.
    users_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    users_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    users_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    users_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Bound to the client: the view may go before its widgets do.
    QObject::connect(users_, &QAbstractItemView::doubleClicked, client_,
                     [client = client_](const QModelIndex& index) {
                         if (QtChildView* view = client->View(); view != nullptr && index.isValid()) {
                             view->RaiseNickChosen(NickAction::Query, view->model_->NickAt(index.row()));
                         }
                     });
    users_->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(users_, &QWidget::customContextMenuRequested, client_, [client = client_](const QPoint& at) {
        QtChildView* view = client->View();
        if (view == nullptr) {
            return;
        }
        const QModelIndex index = view->users_->indexAt(at);
        if (!index.isValid()) {
            return;
        }
        QMenu* menu = view->NickMenu(index.row());
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(view->users_->viewport()->mapToGlobal(at));
    });

    input_ = new InputLine(this, client_);
    client_->setFocusProxy(input_); // a window handed the keyboard types into its line
    // Edits by the user only: what the core sets itself is no typing.
    QObject::connect(input_, &QLineEdit::textEdited, client_, [client = client_] {
        if (QtChildView* view = client->View(); view != nullptr) {
            view->RaiseInputChange();
        }
    });
    input_->setFont(font);
    input_->setFrame(false);
    input_->setTextMargins(0, 0, 0, 0);
    // Twelve units make one line of the font and the line edit's one-pixel margins: its text
    // shows unclipped, and everything else keeps the proportions the layout numbers give.
    input_->setMinimumHeight(0);
    auto* typing = new TypingGoesToInput(input_, client_);
    log_->installEventFilter(typing);
    users_->installEventFilter(typing);
    unit_ = std::max(1.0, static_cast<double>(QFontMetrics(font).height() + 2) / kInputUnits);

    form_->setWidget(client_);
    form_->setAttribute(Qt::WA_DeleteOnClose, false);
    form_->resize(760, 480); // room for the log beside the 200-unit nick list
    normal_ = form_->geometry();
    if (waitingRoom != nullptr) {
        // The title bar's menu is a widget with its actions and their shortcuts: made again
        // once the window is in the area.
        form_->setSystemMenu(nullptr);
        return;
    }
    Enter(area);
}

void QtChildView::Enter(QMdiArea& area)
{
    // A window loads minimized at the back: the window in use keeps the activation and the
    // keyboard (a stranger's first private line must not take the input line away).
    QMdiSubWindow* const inUse = area.activeSubWindow();
    WindowLayout* const layout = WindowLayout::Of(area);
    // Where windows come one at a time, it waits away until asked for, never shown.
    const bool away = layout != nullptr && layout->OneAtATime() && inUse != nullptr;
    if (!away) {
        area.addSubWindow(form_);
    }
    PlaceNew(area); // the area places a window as it takes it in
    normal_ = form_->geometry();
    // The area activates a window as it minimizes it, unless the window is disabled: taking
    // the activation from the window in use and handing it back cost a pass over every
    // window, twice. The window in use still says it is activated, as it did then.
    if (away) {
        layout->KeepAway(*form_, Qt::WindowMinimized);
    } else {
        form_->setEnabled(inUse == nullptr);
        form_->showMinimized();
        form_->setEnabled(true);
    }
    if (inUse != nullptr) {
        if (area.activeSubWindow() != inUse) {
            area.setActiveSubWindow(inUse);
        } else if (auto* const form = dynamic_cast<Form*>(inUse); form != nullptr) {
            form->SayActivated();
        }
    }
}

bool QtChildView::Waiting() const
{
    return form_->mdiArea() == nullptr && !WindowLayout::IsPutAway(*form_);
}

bool QtChildView::ShownNormal() const
{
    return !Waiting() && !WindowLayout::IsPutAway(*form_) && !form_->isMinimized() && !form_->isMaximized();
}

QtChildView::~QtChildView()
{
    Notifier::Instance().Forget(form_.data());
    if (form_) {
        client_->Forget();
        input_->Forget();
        topic_->SetEdited({});
    }
    LetGoLater(static_cast<Form*>(form_.data()));
}

QMdiSubWindow* QtChildView::SubWindow() const
{
    return form_.data();
}

void QtChildView::RaiseQueryUnload(bool& cancel)
{
    const std::int32_t mode = unloading_ ? 1 : 0;
    AtBoundary("close request", [&] { Events.QueryUnload.raise(cancel, mode); });
}

void QtChildView::RaiseNickChosen(NickAction action, const std::string& nick)
{
    AtBoundary("nick list action", [&] { Events.NickChosen.raise(action, nick); });
}

QMenu* QtChildView::NickMenu(int row)
{
    auto* menu = new QMenu(users_);
    const std::string nick = model_->NickAt(row);
    struct Item {
        const char* text;
        NickAction action;
    };
    static constexpr Item kItems[] = {
        {"Query", NickAction::Query}, {"Whois", NickAction::Whois}, {"Op", NickAction::Op},
        {"Deop", NickAction::Deop},   {"Voice", NickAction::Voice}, {"Devoice", NickAction::Devoice},
        {"Kick", NickAction::Kick},   {"Ban", NickAction::Ban},
    };
    // A channel's list (the ranked one) offers what an operator does there too.
    const std::size_t count = model_->Ranked() ? std::size(kItems) : 2;
    for (std::size_t i = 0; i < count; ++i) {
        const Item item = kItems[i];
        if (i == 2) {
            menu->addSeparator();
        }
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        QObject::connect(action, &QAction::triggered, client_, [client = client_, item, nick] {
            if (QtChildView* view = client->View(); view != nullptr) {
                view->RaiseNickChosen(item.action, nick);
            }
        });
    }
    return menu;
}

void QtChildView::SetUsersShown(bool shown)
{
    if (usersShown_ == shown) {
        return;
    }
    usersShown_ = shown;
    users_->setVisible(shown);
    if (counts_ != nullptr) {
        counts_->setVisible(shown);
    }
    RaiseResize();
}

void QtChildView::SetHeader(std::string_view text)
{
    const QString shown = DecodeForDisplay(text);
    if (header_ == nullptr) {
        if (shown.isEmpty()) {
            return;
        }
        header_ = new PartnerHeader(client_);
        header_->setObjectName(QStringLiteral("partnerHeader"));
        header_->setTextFormat(Qt::PlainText);
    } else if (header_->text() == shown) {
        return;
    }
    header_->setText(shown);
    header_->setVisible(!shown.isEmpty());
    RaiseResize();
}

void QtChildView::RaiseResize()
{
    AtBoundary("resize", [&] { Events.Resize.raise(); });
}

void QtChildView::RaiseActivate()
{
    AtBoundary("activate", [&] { Events.Activate.raise(); });
}

void QtChildView::RaiseSeen()
{
    if (Seen()) {
        AtBoundary("seen", [&] { Events.Seen.raise(); });
    }
}

void QtChildView::RaiseInputKeyDown(std::int32_t& key)
{
    AtBoundary("input line key", [&] { Events.InputKeyDown.raise(key); });
}

void QtChildView::RaiseInputKeyPress(std::int32_t& key)
{
    AtBoundary("input line character", [&] { Events.InputKeyPress.raise(key); });
}

void QtChildView::RaiseInputChange()
{
    AtBoundary("input line change", [&] { Events.InputChange.raise(); });
}

void QtChildView::RaiseInputPaste(const std::string& text, bool& handled)
{
    AtBoundary("input line paste", [&] { Events.InputPaste.raise(text, handled); });
}

bool QtChildView::AskYesNo(const std::string& question)
{
    // The box goes with the window should the window close while the question waits.
    const QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Question, QGuiApplication::applicationDisplayName(),
                        DecodeForDisplay(question), QMessageBox::Yes | QMessageBox::No, form_.data());
    box->setDefaultButton(QMessageBox::No);
    const bool yes = box->exec() == QMessageBox::Yes;
    delete box.data();
    return yes;
}

QLineEdit* QtChildView::Input() const
{
    return input_;
}

void QtChildView::SetCaption(const std::string& caption)
{
    form_->setWindowTitle(DecodeForDisplay(caption));
}

void QtChildView::Show()
{
    SetVisible(true);
}

void QtChildView::Hide()
{
    SetVisible(false);
}

bool QtChildView::Visible() const
{
    return Waiting() ? waitingVisible_ : !form_->isHidden() || WindowLayout::IsPutAway(*form_);
}

void QtChildView::SetVisible(bool visible)
{
    if (Waiting()) {
        waitingVisible_ = visible;
    } else {
        if (!visible) {
            if (WindowLayout* const layout = area_ ? WindowLayout::Of(*area_) : nullptr; layout != nullptr) {
                layout->Release(*form_);
            }
        } else if (WindowLayout::IsPutAway(*form_)) {
            return; // open already, behind the window in front: shown, it would take its place
        }
        form_->setVisible(visible);
    }
}

WindowState QtChildView::State() const
{
    if (Waiting()) {
        return WindowState::Minimized;
    }
    const Qt::WindowStates state =
        WindowLayout::IsPutAway(*form_) ? WindowLayout::AwayState(*form_) : form_->windowState();
    if (state & Qt::WindowMinimized) {
        return WindowState::Minimized;
    }
    return state & Qt::WindowMaximized ? WindowState::Maximized : WindowState::Normal;
}

void QtChildView::SetState(WindowState state)
{
    if (Waiting()) {
        if (state == WindowState::Minimized) {
            return;
        }
        auto* const area = static_cast<QMdiArea*>(form_->parentWidget()->parentWidget());
        Enter(*area);
    }
    if (WindowLayout::IsPutAway(*form_)) {
        // Changing its own state would show it: it takes the state as it comes back, filling
        // the area unless minimized, as every window does where they come one at a time.
        WindowLayout::SetAwayState(*form_,
                                   state == WindowState::Minimized ? Qt::WindowMinimized : Qt::WindowMaximized);
        return;
    }
    switch (state) {
    case WindowState::Minimized:
        form_->showMinimized();
        break;
    case WindowState::Maximized:
        ShowBehind(&QWidget::showMaximized);
        break;
    case WindowState::Normal:
        // Beside a maximized window in use, a normal one would open hidden behind it; where
        // windows come one at a time, each fills the area.
        if (const WindowLayout* const layout = area_ ? WindowLayout::Of(*area_) : nullptr;
            layout != nullptr && layout->OneAtATime()) {
            ShowBehind(&QWidget::showMaximized);
        } else if (const QMdiSubWindow* inUse = area_ ? area_->activeSubWindow() : nullptr;
                   form_->isMinimized() && inUse != nullptr && inUse != form_ && inUse->isMaximized()) {
            ShowBehind(&QWidget::showMaximized);
        } else {
            // The area puts a window it restores back where it was once more as it hands the
            // activation back to the window in use: the place asked for goes on last.
            const QRect place = pending_;
            ShowBehind(&QWidget::showNormal);
            if (place.isValid() && !form_->isMaximized() && !form_->isMinimized()) {
                pending_ = QRect();
                form_->setGeometry(place);
            }
        }
        break;
    }
    // A window behind the one in front goes back away, in its new state.
    if (WindowLayout* const layout = area_ ? WindowLayout::Of(*area_) : nullptr;
        layout != nullptr && area_->activeSubWindow() != form_ && area_->activeSubWindow() != nullptr) {
        layout->PutAway(*form_);
    }
}

void QtChildView::ShowBehind(void (QWidget::*show)())
{
    QMdiSubWindow* const inUse = area_ ? area_->activeSubWindow() : nullptr;
    if (inUse == nullptr || inUse == form_) {
        (form_->*show)();
        return;
    }
    QPointer<QWidget> typing = QApplication::focusWidget();
    // As in Enter: a disabled window is not activated as it changes state.
    form_->setEnabled(false);
    (form_->*show)();
    form_->setEnabled(true);
    if (area_->activeSubWindow() != inUse) {
        area_->setActiveSubWindow(inUse);
    }
    form_->stackUnder(inUse);
    if (typing != nullptr && QApplication::focusWidget() != typing) {
        typing->setFocus(Qt::OtherFocusReason);
    }
}

void QtChildView::PlaceNew(QMdiArea& area)
{
    const QSize room = area.viewport()->size();
    if (room.width() < 50 || room.height() < 50) {
        return; // not laid out yet: the area places it
    }
    // Room for a few steps of the cascade before it wraps.
    const QSize size = form_->size().boundedTo(room * 0.8);
    form_->resize(size);
    const int step = std::max(8, form_->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, form_));
    int slot = area.property(kCascade).toInt();
    QPoint at(slot * step, slot * step);
    if (at.x() + size.width() > room.width() || at.y() + size.height() > room.height()) {
        slot = 0;
        at = QPoint(0, 0);
    }
    area.setProperty(kCascade, slot + 1);
    form_->move(at);
}

void QtChildView::TakeFocus()
{
    if (State() == WindowState::Minimized) {
        SetState(WindowState::Normal);
    }
    if (WindowLayout* const layout = area_ ? WindowLayout::Of(*area_) : nullptr; layout != nullptr) {
        layout->Show(form_);
    } else if (area_) {
        area_->setActiveSubWindow(form_);
    }
    input_->setFocus(Qt::OtherFocusReason);
}

std::string QtChildView::LayoutKey(const QString& name)
{
    return "Window " + name.toLower().toStdString();
}

void QtChildView::KeepNormalGeometry()
{
    if (form_ && form_->mdiArea() != nullptr && !form_->isMinimized() && !form_->isMaximized()) {
        normal_ = form_->geometry();
    }
}

void QtChildView::ApplyPendingGeometry()
{
    if (pending_.isValid() && form_ && !form_->isMinimized() && !form_->isMaximized()) {
        const QRect place = std::exchange(pending_, QRect());
        form_->setGeometry(place);
    }
}

void QtChildView::SetName(const std::string& name)
{
    const bool first = name_.isEmpty();
    name_ = DecodeForDisplay(name);
    nameBytes_ = name;
    ShowChannelInTree();
    if (!first || settings_ == nullptr || name_.isEmpty()) {
        return;
    }
    const std::string stored = settings_->GetSetting(SettingsAppName(), kLayoutSection, LayoutKey(name_), "");
    std::istringstream fields(stored);
    int left = 0, top = 0, width = 0, height = 0, state = -1;
    if (!(fields >> left >> top >> width >> height >> state) || width < 50 || height < 50 || state < 0 ||
        state > 2) {
        return;
    }
    const QRect place = FitInArea(QRect(left, top, width, height));
    if (!ShownNormal()) {
        pending_ = place;
    } else {
        form_->setGeometry(place);
    }
    const auto remembered = static_cast<WindowState>(state);
    if (remembered != WindowState::Minimized && remembered != State() && State() != WindowState::Minimized) {
        SetState(remembered);
    }
}

// A place outside today's area (a smaller screen) comes back inside it.
QRect QtChildView::FitInArea(QRect place) const
{
    if (area_) {
        const QSize room = area_->viewport()->size();
        if (room.width() >= 50 && room.height() >= 50) {
            place.setSize(place.size().boundedTo(room));
            place.moveLeft(std::clamp(place.left(), 0, room.width() - place.width()));
            place.moveTop(std::clamp(place.top(), 0, room.height() - place.height()));
        }
    }
    return place;
}

std::optional<WindowPlace> QtChildView::Place() const
{
    if (!form_) {
        return std::nullopt;
    }
    // Maximized or minimized, the window's place is where it goes back to.
    const bool normal = ShownNormal();
    const QRect place = pending_.isValid() ? pending_ : normal || !normal_.isValid() ? form_->geometry() : normal_;
    return WindowPlace{place.left(), place.top(), place.width(), place.height()};
}

void QtChildView::SetPlace(const WindowPlace& place)
{
    if (!form_ || place.width < 50 || place.height < 50) {
        return;
    }
    const QRect fitted = FitInArea(QRect(place.left, place.top, place.width, place.height));
    if (!ShownNormal()) {
        pending_ = fitted;
    } else {
        form_->setGeometry(fitted);
    }
}

QtChildView* QtChildView::Of(const QMdiSubWindow* window)
{
    const auto* form = dynamic_cast<const Form*>(window);
    return form == nullptr ? nullptr : form->View();
}

void QtChildView::RunCommand(const std::string& line)
{
    AtBoundary("window menu command", [&] { Events.RunCommand.raise(line); });
}

void QtChildView::SetGroup(const std::string& group, const std::string& label, bool head)
{
    if (area_ && form_) {
        if (WindowTreeModel* const tree = QtMainWindowView::TreeOf(*area_); tree != nullptr) {
            tree->SetGroup(form_, DecodeForDisplay(group), DecodeForDisplay(label), label, head);
        }
    }
}

void QtChildView::SetUnread(std::int32_t count)
{
    if (area_ && form_) {
        if (WindowTreeModel* const tree = QtMainWindowView::TreeOf(*area_); tree != nullptr) {
            tree->SetUnread(form_, count);
        }
    }
}

void QtChildView::SetGreyed(bool greyed)
{
    if (area_ && form_) {
        if (WindowTreeModel* const tree = QtMainWindowView::TreeOf(*area_); tree != nullptr) {
            tree->SetGreyed(form_, greyed);
        }
    }
}

void QtChildView::SetPartnerAway(bool away)
{
    if (area_ && form_) {
        if (WindowTreeModel* const tree = QtMainWindowView::TreeOf(*area_); tree != nullptr) {
            tree->SetAway(form_, away);
        }
    }
}

void QtChildView::SetTyping(std::string_view text)
{
    const QString shown = DecodeForDisplay(text);
    if (typing_ == nullptr) {
        if (shown.isEmpty()) {
            return;
        }
        typing_ = new QLabel(client_);
        typing_->setObjectName(QStringLiteral("typingLine"));
        typing_->setTextFormat(Qt::PlainText);
        typing_->setForegroundRole(QPalette::PlaceholderText);
        QFont small = client_->font();
        small.setItalic(true);
        typing_->setFont(small);
        typing_->hide();
    }
    typing_->setText(shown);
    // Only coming and going moves the log: a new typist changes the text alone.
    if (typing_->isHidden() != shown.isEmpty()) {
        typing_->setVisible(!shown.isEmpty());
        RaiseResize();
    }
}

void QtChildView::ShowChannelInTree()
{
    if (area_ && form_) {
        if (WindowTreeModel* const tree = QtMainWindowView::TreeOf(*area_); tree != nullptr) {
            tree->SetChannel(form_, channel_ ? nameBytes_ : std::string());
        }
    }
}

void QtChildView::SaveLayout()
{
    if (settings_ == nullptr || name_.isEmpty() || !form_ || Waiting()) {
        return;
    }
    const QRect place = pending_.isValid() ? pending_ : normal_.isValid() ? normal_ : form_->geometry();
    std::ostringstream value;
    value << place.left() << ' ' << place.top() << ' ' << place.width() << ' ' << place.height() << ' '
          << static_cast<int>(State());
    settings_->SaveSetting(SettingsAppName(), kLayoutSection, LayoutKey(name_), value.str());
}

int QtChildView::ChosenListWidth() const
{
    int width = dragged_;
    if (width == 0 && settings_ != nullptr) {
        width = QString::fromStdString(settings_->GetSetting(SettingsAppName(), std::string(settings::Section),
                                                             std::string(settings::NickListWidth), ""))
                    .toInt();
    }
    if (width <= 0) {
        return 0;
    }
    const int room = client_->width() - kNarrowestLog - kSplitWidth;
    return room < kNarrowestList ? 0 : std::clamp(width, kNarrowestList, room);
}

void QtChildView::DragSplit(int x)
{
    dragged_ = std::max(1, client_->width() - x - kSplitWidth / 2);
    RaiseResize();
}

void QtChildView::SetInputHint(const std::string& hint)
{
    input_->setPlaceholderText(DecodeForDisplay(hint));
}

bool QtChildView::Seen() const
{
    return form_ && area_ && QGuiApplication::applicationState() == Qt::ApplicationActive &&
           area_->activeSubWindow() == form_ && area_->window()->isActiveWindow();
}

void QtChildView::MarkRead(std::int64_t linesAfter)
{
    log_->MarkRead(linesAfter);
}

void QtChildView::Untell()
{
    if (form_) {
        Notifier::Instance().Withdraw(form_.data());
    }
}

void QtChildView::Tell(const std::string& title, const std::string& text)
{
    if (!form_ || !area_) {
        return;
    }
    if (Seen()) {
        return;
    }
    QApplication::alert(area_->window(), 0);
    Notifier::Instance().Notify(form_.data(), DecodeForDisplay(title), DecodeForDisplay(text));
}

double QtChildView::ClientWidth() const
{
    return client_->width() / unit_;
}

double QtChildView::ClientHeight() const
{
    return client_->height() / unit_;
}

void QtChildView::Place(QWidget* control, std::int32_t left, std::int32_t top, std::int32_t width,
                        std::int32_t height)
{
    control->setGeometry(static_cast<int>(std::lround(left * unit_)), static_cast<int>(std::lround(top * unit_)),
                         static_cast<int>(std::lround(width * unit_)),
                         static_cast<int>(std::lround(height * unit_)));
}

void QtChildView::MoveOutput(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    Place(log_, left, top, width, height);
    QRect place = log_->geometry();
    if (!usersShown_) {
        // Without the list the log reaches the window's right edge.
        place.setRight(client_->width() - 1);
    } else if (const int list = ChosenListWidth(); list > 0) {
        place.setRight(client_->width() - list - kSplitWidth - 1);
    }
    // The query's header or the channel's topic bar takes the top of the log's place.
    for (QWidget* bar : {static_cast<QWidget*>(header_), static_cast<QWidget*>(topic_)}) {
        if (bar != nullptr && !bar->isHidden()) {
            const int line = std::min(bar->sizeHint().height(), place.height() / 2);
            bar->setGeometry(place.x(), place.y(), place.width(), line);
            place.setTop(place.top() + line);
        }
    }
    // Who is typing, under the log.
    if (typing_ != nullptr && !typing_->isHidden()) {
        const int line = std::min(typing_->sizeHint().height(), place.height() / 2);
        typing_->setGeometry(place.x() + kTypingIndent, place.bottom() - line + 1, place.width() - kTypingIndent,
                             line);
        place.setBottom(place.bottom() - line);
    }
    log_->setGeometry(place);
}

void QtChildView::ShowTopicBar(bool shown)
{
    if (channel_ != shown) {
        channel_ = shown;
        ShowChannelInTree();
    }
    if (topic_->isHidden() == shown) {
        topic_->setVisible(shown);
        RaiseResize();
    }
}

void QtChildView::SetTopic(std::string_view topic, std::string_view setter, std::int64_t time)
{
    topic_->SetTopic(topic, setter, time);
}

void QtChildView::MoveUsers(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    Place(users_, left, top, width, height);
    if (const int list = ChosenListWidth(); list > 0 && usersShown_) {
        QRect place = users_->geometry();
        place.setLeft(client_->width() - list);
        users_->setGeometry(place);
    }
    // The grip fills the gap between log and list, and is at least wide enough to hold.
    const QRect list = users_->geometry();
    const int gap = std::max(kSplitWidth, list.left() - log_->geometry().right() - 1);
    split_->setGeometry(list.left() - gap, list.top(), gap, list.height());
    split_->setVisible(usersShown_);
    split_->raise();
    if (counts_ != nullptr) {
        PlaceCounts();
    }
}

// The counts take the top of the list's place. Their size is fixed: a label of free size asks
// the whole window to lay itself out again each time its text changes, as it does with every
// join and part.
void QtChildView::PlaceCounts()
{
    const QRect place = users_->geometry();
    const int line = counts_->sizeHint().height();
    counts_->setFixedSize(std::max(0, place.width()), line);
    counts_->move(place.topLeft());
    users_->setGeometry(place.adjusted(0, line, 0, 0));
}

void QtChildView::MoveInput(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    Place(input_, left, top, width, height);
}

void QtChildView::MoveTo(std::int32_t left, std::int32_t top)
{
    form_->move(static_cast<int>(std::lround(left * unit_)), static_cast<int>(std::lround(top * unit_)));
}

void QtChildView::SendToBack()
{
    form_->lower();
}

// Asked once per user of a names reply. Each part of the window repaints what changes in it
// already; redrawing the whole client area would repaint the log for nothing.
void QtChildView::Redraw() {}

void QtChildView::Unload()
{
    SaveLayout();
    unloading_ = true;
    form_->close();
}

void QtChildView::AppendOutput(std::string_view line)
{
    log_->AppendLine(line);
}

TELLIX_LINE_ROAD void QtChildView::AppendOutput(std::string_view line, const LineStyle& style)
{
    log_->AppendLine(line, &style);
}

void QtChildView::SetScrollbackLines(std::int64_t lines)
{
    scrollback_ = lines;
    log_->SetScrollbackLines(lines);
}

void QtChildView::PrependOutput(const std::vector<StyledLine>& lines)
{
    log_->PrependLines(lines);
}

void QtChildView::ClearOutput()
{
    log_->Clear();
}

std::int64_t QtChildView::OutputLength() const
{
    return log_->TextLength();
}

std::int64_t QtChildView::SelStart() const
{
    return log_->SelectionStart();
}

std::int64_t QtChildView::SelLength() const
{
    return log_->SelectionLength();
}

void QtChildView::SetSelection(std::int64_t start, std::int64_t length)
{
    log_->SetSelection(start, length);
}

std::string QtChildView::InputText() const
{
    return input_->text().toStdString();
}

void QtChildView::SetInputText(std::string_view text)
{
    input_->setText(DecodeForDisplay(text));
}

// The core counts bytes of the UTF-8 text; the line edit counts UTF-16 units.
std::int64_t QtChildView::InputSelStart() const
{
    const int position = input_->hasSelectedText() ? input_->selectionStart() : input_->cursorPosition();
    return input_->text().left(position).toUtf8().size();
}

std::int64_t QtChildView::InputSelLength() const
{
    return input_->selectedText().toUtf8().size();
}

void QtChildView::SetInputSelStart(std::int64_t start)
{
    const QByteArray bytes = input_->text().toUtf8();
    const auto cut = static_cast<qsizetype>(std::clamp<std::int64_t>(start, 0, bytes.size()));
    input_->setCursorPosition(static_cast<int>(QString::fromUtf8(bytes.left(cut)).size()));
}

void QtChildView::UsersClear()
{
    model_->Clear();
}

void QtChildView::UsersAppend(std::string_view nick)
{
    model_->Append(nick);
}

void QtChildView::UsersReplace(std::int32_t position, std::string_view nick)
{
    model_->Replace(position, nick);
}

void QtChildView::UsersRemove(std::int32_t position)
{
    model_->Remove(position);
}

void QtChildView::SetActivity(Activity level)
{
    activity_ = level;
    if (area_ && form_) {
        QtMainWindowView::ShowActivity(*area_, form_, level);
    }
}

void QtChildView::UsersRank(std::int32_t position, std::int32_t rank, char symbol, bool op)
{
    model_->Rank(position, rank, symbol, op);
}

void QtChildView::UsersAway(std::int32_t position, bool away)
{
    model_->Away(position, away);
}

void QtChildView::UsersFilled()
{
    model_->Settle();
}

void QtChildView::LogCaseMapping(CaseMapping mapping)
{
    log_->SetNickCaseMapping(mapping);
}

void QtChildView::UsersCaseMapping(CaseMapping mapping)
{
    model_->SetCaseMapping(mapping);
    if (counts_ == nullptr) {
        counts_ = new QLabel(client_);
        counts_->setFont(client_->font());
        counts_->setTextFormat(Qt::PlainText);
        counts_->setObjectName(QStringLiteral("userCounts"));
        counts_->show();
        // Bound to the label and the model only: the form may go before its widgets do.
        const auto show = [model = model_, counts = counts_] {
            const int users = model->rowCount();
            const int ops = model->Ops();
            counts->setText(QStringLiteral("%1 %2, %3 %4")
                                .arg(users)
                                .arg(users == 1 ? QStringLiteral("user") : QStringLiteral("users"))
                                .arg(ops)
                                .arg(ops == 1 ? QStringLiteral("op") : QStringLiteral("ops")));
        };
        QObject::connect(model_, &QAbstractItemModel::rowsInserted, counts_, show);
        QObject::connect(model_, &QAbstractItemModel::rowsRemoved, counts_, show);
        QObject::connect(model_, &QAbstractItemModel::modelReset, counts_, show);
        QObject::connect(model_, &QAbstractItemModel::layoutChanged, counts_, show);
        QObject::connect(model_, &QAbstractItemModel::dataChanged, counts_, show);
        show();
        PlaceCounts();
    }
}

} // namespace tellix
