#include "platform/qt/WindowTree.h"

#include "platform/qt/WindowBar.h"
#include "platform/qt/WindowTreeModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tellix {

// Draws a row as the style does, its label cut short to leave room at the right for the
// unread count in a small rounded badge of the row's activity colour.
class WindowTree::Delegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int unread = index.data(WindowTreeModel::UnreadRole).toInt();
        if (unread <= 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QString count = unread > 999 ? QStringLiteral("999+") : QString::number(unread);
        QFont small = option.font;
        small.setBold(false);
        small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.85));
        const QFontMetrics metrics(small);
        const int height = metrics.height();
        const int width = std::max(metrics.horizontalAdvance(count) + height / 2 + 2, height);
        const int margin = 4;
        const QRect badge(item.rect.right() - margin - width + 1, item.rect.center().y() - height / 2 + 1, width,
                          height);
        QStyle* const style = item.widget != nullptr ? item.widget->style() : nullptr;
        if (style != nullptr) {
            const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
            const int room = std::max(0, badge.left() - margin - text.left());
            item.text = item.fontMetrics.elidedText(item.text, Qt::ElideRight, room);
            style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        }
        const auto level = static_cast<Activity>(index.data(WindowTreeModel::LevelRole).toInt());
        const QColor fill = index.data(WindowTreeModel::GreyedRole).toBool() || level == Activity::None
                                ? option.palette.color(QPalette::Disabled, QPalette::Text)
                                : WindowBar::LevelColour(level, option.palette);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(QRectF(badge), height / 2.0, height / 2.0);
        painter->setPen(option.palette.color(QPalette::Base));
        painter->setFont(small);
        painter->drawText(badge, Qt::AlignCenter, count);
        painter->restore();
    }
};

WindowTree::WindowTree(WindowTreeModel& model, Actions actions, QWidget* parent)
    : QTreeView(parent), model_(model), actions_(std::move(actions))
{
    setObjectName(QStringLiteral("windowTree"));
    setAccessibleName(QStringLiteral("Windows"));
    setAccessibleDescription(QStringLiteral("The open windows by connection"));
    setHeaderHidden(true);
    setUniformRowHeights(true); // where a row is is arithmetic, with thousands of rows
    setRootIsDecorated(true);
    setIndentation(12);
    setExpandsOnDoubleClick(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setFocusPolicy(Qt::ClickFocus);
    setItemDelegate(new Delegate(this));
    setModel(&model_);
    model_.SetLook(palette(), font());
    // A new connection's windows show under it; collapsing it is the user's choice from then on.
    // A window moved to its connection comes back as a new row: selected again if active.
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first) {
        if (!parent.isValid() && model_.data(model_.index(first, 0), WindowTreeModel::HeadRole).toBool()) {
            expand(model_.index(first, 0));
        }
        if (followed_ && currentIndex() != model_.IndexOf(followed_)) {
            Follow(followed_);
        }
    });
}

void WindowTree::Follow(QMdiSubWindow* active)
{
    if (active != nullptr) {
        followed_ = active;
    }
    const QModelIndex index = model_.IndexOf(active);
    if (!index.isValid()) {
        return;
    }
    following_ = true;
    if (currentIndex() != index) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    scrollTo(index);
    following_ = false;
}

void WindowTree::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    if (following_ || !current.isValid() || !(clicked_ || keyed_)) {
        return;
    }
    // Walking the tree with the keys keeps the keyboard here; a click hands it to the window.
    if (QMdiSubWindow* const window = model_.Window(current); window != nullptr && actions_.activate) {
        actions_.activate(window, clicked_);
    }
}

void WindowTree::mousePressEvent(QMouseEvent* event)
{
    // The middle button closes and the right one opens the menu: neither moves the activation.
    if (event->button() == Qt::MiddleButton) {
        middlePressed_ = indexAt(event->position().toPoint());
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    clicked_ = true;
    QTreeView::mousePressEvent(event);
    clicked_ = false;
}

void WindowTree::keyPressEvent(QKeyEvent* event)
{
    keyed_ = true;
    QTreeView::keyPressEvent(event);
    keyed_ = false;
}

void WindowTree::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        const QPersistentModelIndex pressed = std::exchange(middlePressed_, QPersistentModelIndex());
        if (index.isValid() && index == pressed && actions_.close) {
            if (QMdiSubWindow* const window = model_.Window(index); window != nullptr) {
                actions_.close(window);
            }
        }
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void WindowTree::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    QMenu* const menu = MenuFor(index);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QMenu* WindowTree::MenuFor(const QModelIndex& index)
{
    auto* menu = new QMenu(this);
    // Each item acts on the window as it is then: the row may be gone meanwhile.
    const QPointer<QMdiSubWindow> window = model_.Window(index);
    const bool head = model_.data(index, WindowTreeModel::HeadRole).toBool();
    const bool greyed = model_.data(index, WindowTreeModel::GreyedRole).toBool();
    const std::string channel = model_.Channel(index);
    const auto run = [this, window](const std::string& line) {
        if (window && actions_.run) {
            actions_.run(window, line);
        }
    };
    const auto item = [&](const QString& text, bool enabled, std::function<void()> act) {
        QAction* action = menu->addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, std::move(act));
    };
    if (head) {
        const std::string label = model_.GroupLabel(index);
        const QString shown = model_.data(index, Qt::DisplayRole).toString();
        item(QStringLiteral("&Reconnect"), !window.isNull(), [run] { run("SERVER"); });
        item(QStringLiteral("&Disconnect"), !window.isNull() && !greyed, [run] { run("DISCONNECT"); });
        item(QStringLiteral("C&onnect"), !window.isNull() && !label.empty(),
             [run, label] { run("CONNECT " + label); });
        item(QStringLiteral("&Edit Network..."), static_cast<bool>(actions_.editNetwork), [this, shown] {
            if (actions_.editNetwork) {
                actions_.editNetwork(shown);
            }
        });
        if (window && actions_.moreForConnection) {
            actions_.moreForConnection(window, menu);
        }
        menu->addSeparator();
    } else if (!channel.empty()) {
        item(QStringLiteral("&Part"), !greyed, [run] { run("PART"); });
        item(QStringLiteral("Re&join"), true, [run, channel] { run("JOIN " + channel); });
        menu->addSeparator();
    }
    item(QStringLiteral("&Close"), !window.isNull(), [this, window] {
        if (window && actions_.close) {
            actions_.close(window);
        }
    });
    return menu;
}

void WindowTree::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        model_.SetLook(palette(), font());
    }
}

} // namespace tellix
