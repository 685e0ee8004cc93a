#include "platform/qt/WindowTreeModel.h"

#include "platform/qt/WindowBar.h"

#include <QBrush>
#include <QMdiSubWindow>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace tellix {

WindowTreeModel::WindowTreeModel(QObject* parent) : QAbstractItemModel(parent)
{
    bold_.setBold(true);
}

WindowTreeModel::~WindowTreeModel() = default;

QString WindowTreeModel::Label(const QString& caption)
{
    static const QString separator = QStringLiteral(" - ");
    const qsizetype at = caption.lastIndexOf(separator);
    QString label = at < 0 ? caption : caption.mid(at + separator.size());
    // A channel or nick holds no space: " (disconnected)" and the like are states the row
    // shows greyed, not part of its name.
    if (const qsizetype state = label.indexOf(QStringLiteral(" (")); state > 0) {
        label.truncate(state);
    }
    return label;
}

void WindowTreeModel::Add(QMdiSubWindow* window)
{
    if (window == nullptr || windows_.contains(window)) {
        return;
    }
    auto node = std::make_unique<Node>();
    node->order = next_++;
    node->facts.window = window;
    node->facts.order = node->order;
    node->facts.caption = window->windowTitle();
    node->facts.label = Label(node->facts.caption);
    windows_.insert(window, Insert(root_, std::move(node)));
    connect(window, &QWidget::windowTitleChanged, this,
            [this, window](const QString& caption) { Relabel(window, caption); });
    // The key only: the window is half gone when it says so.
    connect(window, &QObject::destroyed, this, [this, window] { Remove(window); });
}

const QString& WindowTreeModel::Shown(const Node& node) const
{
    return !node.group.isEmpty() && !node.groupLabel.isEmpty() ? node.groupLabel : node.facts.label;
}

bool WindowTreeModel::Before(const Node& a, const Node& b) const
{
    if (sorted_) {
        if (const int order = a.key.compare(b.key); order != 0) {
            return order < 0;
        }
    }
    return a.order < b.order;
}

WindowTreeModel::Node* WindowTreeModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex WindowTreeModel::IndexOf(const Node* node) const
{
    return node == nullptr || node == &root_ ? QModelIndex() : createIndex(node->row, 0, node);
}

QModelIndex WindowTreeModel::IndexOf(const QMdiSubWindow* window) const
{
    return IndexOf(windows_.value(window));
}

QMdiSubWindow* WindowTreeModel::Window(const QModelIndex& index) const
{
    const Node* node = NodeOf(index);
    return node == nullptr ? nullptr : node->facts.window;
}

std::string WindowTreeModel::Channel(const QModelIndex& index) const
{
    const Node* node = NodeOf(index);
    return node == nullptr ? std::string() : node->facts.channel;
}

std::string WindowTreeModel::GroupLabel(const QModelIndex& index) const
{
    const Node* node = NodeOf(index);
    return node == nullptr ? std::string() : node->groupLabelBytes;
}

WindowTreeModel::Node* WindowTreeModel::Insert(Node& parent, std::unique_ptr<Node> node)
{
    node->parent = &parent;
    node->key = Shown(*node).toCaseFolded();
    auto& list = parent.children;
    const auto at = std::lower_bound(list.begin(), list.end(), node,
                                     [this](const auto& a, const auto& b) { return Before(*a, *b); });
    const auto row = static_cast<int>(at - list.begin());
    beginInsertRows(IndexOf(&parent), row, row);
    Node* const placed = list.insert(at, std::move(node))->get();
    for (auto i = static_cast<std::size_t>(row); i < list.size(); ++i) {
        list[i]->row = static_cast<int>(i);
    }
    endInsertRows();
    return placed;
}

std::unique_ptr<WindowTreeModel::Node> WindowTreeModel::Take(Node& node)
{
    Node& parent = *node.parent;
    const int row = node.row;
    auto& list = parent.children;
    beginRemoveRows(IndexOf(&parent), row, row);
    std::unique_ptr<Node> taken = std::move(list[static_cast<std::size_t>(row)]);
    list.erase(list.begin() + row);
    for (auto i = static_cast<std::size_t>(row); i < list.size(); ++i) {
        list[i]->row = static_cast<int>(i);
    }
    endRemoveRows();
    taken->parent = nullptr;
    return taken;
}

void WindowTreeModel::Reposition(Node& node)
{
    node.key = Shown(node).toCaseFolded();
    if (sorted_) {
        Node& parent = *node.parent;
        auto& list = parent.children;
        const int from = node.row;
        // The place among the others, found as if this one were out of the list.
        int low = 0;
        int high = static_cast<int>(list.size()) - 1;
        while (low < high) {
            const int middle = (low + high) / 2;
            if (Before(*list[static_cast<std::size_t>(middle < from ? middle : middle + 1)], node)) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        if (const int to = low; to != from) {
            const QModelIndex where = IndexOf(&parent);
            beginMoveRows(where, from, from, where, to > from ? to + 1 : to);
            if (to > from) {
                std::rotate(list.begin() + from, list.begin() + from + 1, list.begin() + to + 1);
            } else {
                std::rotate(list.begin() + to, list.begin() + from, list.begin() + from + 1);
            }
            for (int i = std::min(from, to); i <= std::max(from, to); ++i) {
                list[static_cast<std::size_t>(i)]->row = i;
            }
            endMoveRows();
        }
    }
    Changed(node);
}

void WindowTreeModel::Changed(const Node& node)
{
    const QModelIndex at = IndexOf(&node);
    Q_EMIT dataChanged(at, at);
}

WindowTreeModel::Facts WindowTreeModel::Detach(QMdiSubWindow* window)
{
    Node* const node = windows_.take(window);
    if (node == nullptr) {
        return {};
    }
    if (!node->group.isEmpty()) {
        // A status window leaves its connection's row behind while the connection has windows.
        Facts facts = std::exchange(node->facts, Facts{});
        DropIfEmpty(*node);
        return facts;
    }
    Node* const parent = node->parent;
    Facts facts = std::move(Take(*node)->facts);
    if (parent != &root_) {
        DropIfEmpty(*parent);
    }
    return facts;
}

void WindowTreeModel::DropIfEmpty(Node& group)
{
    if (group.facts.window == nullptr && group.children.empty()) {
        groups_.remove(group.group);
        Take(group);
    } else if (group.facts.window == nullptr) {
        Changed(group);
    }
}

void WindowTreeModel::Remove(QMdiSubWindow* window)
{
    Detach(window);
}

void WindowTreeModel::SetGroup(QMdiSubWindow* window, const QString& group, const QString& label,
                               const std::string& labelBytes, bool head)
{
    Node* const node = windows_.value(window);
    if (node == nullptr) {
        return;
    }
    const bool wasHead = !node->group.isEmpty();
    const QString was = wasHead ? node->group : node->parent != &root_ ? node->parent->group : QString();
    const bool isHead = head && !group.isEmpty();
    // A window that knows no name for its connection leaves the one known.
    const auto relabel = [&](Node& at) {
        if (!labelBytes.empty() && (at.groupLabel != label || at.groupLabelBytes != labelBytes)) {
            at.groupLabel = label;
            at.groupLabelBytes = labelBytes;
            Reposition(at);
        }
    };
    if (was == group && wasHead == isHead) {
        if (Node* const at = groups_.value(group); at != nullptr) {
            relabel(*at);
        }
        return;
    }
    Facts facts = Detach(window);
    const auto leaf = [&facts] {
        auto made = std::make_unique<Node>();
        made->order = facts.order;
        made->facts = std::move(facts);
        return made;
    };
    if (group.isEmpty()) {
        windows_.insert(window, Insert(root_, leaf()));
        return;
    }
    Node* at = groups_.value(group);
    if (at == nullptr) {
        auto made = std::make_unique<Node>();
        made->order = facts.order;
        made->group = group;
        made->groupLabel = label;
        made->groupLabelBytes = labelBytes;
        at = Insert(root_, std::move(made));
        groups_.insert(group, at);
    } else {
        relabel(*at);
    }
    if (!isHead) {
        windows_.insert(window, Insert(*at, leaf()));
        return;
    }
    if (QMdiSubWindow* const other = at->facts.window; other != nullptr) {
        // Two status windows for one connection: the newer one heads it.
        auto demoted = std::make_unique<Node>();
        demoted->facts = std::exchange(at->facts, Facts{});
        demoted->order = demoted->facts.order;
        windows_.insert(other, Insert(*at, std::move(demoted)));
    }
    at->facts = std::move(facts);
    windows_.insert(window, at);
    Reposition(*at);
}

void WindowTreeModel::Relabel(QMdiSubWindow* window, const QString& caption)
{
    Node* const node = windows_.value(window);
    if (node == nullptr) {
        return;
    }
    node->facts.caption = caption;
    const QString label = Label(caption);
    if (label == node->facts.label) {
        Changed(*node); // only the number moved: the tool tip shows it
        return;
    }
    node->facts.label = label;
    Reposition(*node);
}

void WindowTreeModel::SetActivity(QMdiSubWindow* window, Activity level)
{
    Node* const node = windows_.value(window);
    if (node != nullptr && node->facts.level != level) {
        node->facts.level = level;
        Changed(*node);
    }
}

void WindowTreeModel::SetUnread(QMdiSubWindow* window, std::int32_t count)
{
    Node* const node = windows_.value(window);
    count = std::max(count, 0);
    if (node != nullptr && node->facts.unread != count) {
        node->facts.unread = count;
        Changed(*node);
    }
}

void WindowTreeModel::SetGreyed(QMdiSubWindow* window, bool greyed)
{
    Node* const node = windows_.value(window);
    if (node != nullptr && node->facts.greyed != greyed) {
        node->facts.greyed = greyed;
        Changed(*node);
    }
}

void WindowTreeModel::SetAway(QMdiSubWindow* window, bool away)
{
    Node* const node = windows_.value(window);
    if (node != nullptr && node->facts.away != away) {
        node->facts.away = away;
        Changed(*node);
    }
}

QColor WindowTreeModel::AwayColour(const QPalette& palette)
{
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const QColor greyed = palette.color(QPalette::Disabled, QPalette::Text);
    return QColor::fromRgbF((text.redF() + greyed.redF()) / 2, (text.greenF() + greyed.greenF()) / 2,
                            (text.blueF() + greyed.blueF()) / 2);
}

void WindowTreeModel::SetChannel(QMdiSubWindow* window, const std::string& channel)
{
    if (Node* const node = windows_.value(window); node != nullptr) {
        node->facts.channel = channel;
    }
}

void WindowTreeModel::SortChildren(Node& node)
{
    std::stable_sort(node.children.begin(), node.children.end(),
                     [this](const auto& a, const auto& b) { return Before(*a, *b); });
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        node.children[i]->row = static_cast<int>(i);
        SortChildren(*node.children[i]);
    }
}

void WindowTreeModel::SetSorted(bool sorted)
{
    if (sorted == sorted_) {
        return;
    }
    sorted_ = sorted;
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    SortChildren(root_);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        after.push_back(IndexOf(NodeOf(index)));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged();
}

void WindowTreeModel::SetLook(const QPalette& palette, const QFont& font)
{
    palette_ = palette;
    bold_ = font;
    bold_.setBold(true);
    if (root_.children.empty()) {
        return;
    }
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0));
    for (const auto& top : root_.children) {
        if (!top->children.empty()) {
            const QModelIndex parent = IndexOf(top.get());
            Q_EMIT dataChanged(index(0, 0, parent), index(rowCount(parent) - 1, 0, parent));
        }
    }
}

QModelIndex WindowTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* const node = parent.isValid() ? NodeOf(parent) : &root_;
    if (node == nullptr || column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) {
        return {};
    }
    return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex WindowTreeModel::parent(const QModelIndex& child) const
{
    const Node* const node = NodeOf(child);
    return node == nullptr ? QModelIndex() : IndexOf(node->parent);
}

int WindowTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0) {
        return 0;
    }
    const Node* const node = parent.isValid() ? NodeOf(parent) : &root_;
    return node == nullptr ? 0 : static_cast<int>(node->children.size());
}

int WindowTreeModel::columnCount(const QModelIndex& /*parent*/) const
{
    return 1;
}

Qt::ItemFlags WindowTreeModel::flags(const QModelIndex& index) const
{
    const Node* const node = NodeOf(index);
    if (node == nullptr) {
        return Qt::NoItemFlags;
    }
    return node->facts.window != nullptr ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsEnabled;
}

QVariant WindowTreeModel::data(const QModelIndex& index, int role) const
{
    const Node* const node = NodeOf(index);
    if (node == nullptr) {
        return {};
    }
    const Facts& facts = node->facts;
    switch (role) {
    case Qt::DisplayRole:
        return Shown(*node);
    case Qt::ToolTipRole:
        return facts.caption.isEmpty() ? Shown(*node) : facts.caption;
    case Qt::ForegroundRole:
        if (facts.greyed) {
            return QBrush(palette_.color(QPalette::Disabled, QPalette::Text));
        }
        if (facts.level != Activity::None) {
            return QBrush(WindowBar::LevelColour(facts.level, palette_));
        }
        if (facts.away) {
            return QBrush(AwayColour(palette_));
        }
        return {};
    case Qt::FontRole:
        return facts.level >= Activity::Messages ? QVariant(bold_) : QVariant();
    case Qt::AccessibleTextRole: {
        QStringList parts{Shown(*node)};
        if (!node->group.isEmpty()) {
            parts << QStringLiteral("connection");
        }
        if (facts.unread > 0) {
            parts << QStringLiteral("%1 unread").arg(facts.unread);
        }
        static const char* const levels[] = {nullptr, "new events", "new messages", "highlight"};
        if (const char* level = levels[static_cast<int>(facts.level)]; level != nullptr) {
            parts << QString::fromLatin1(level);
        }
        if (facts.greyed) {
            parts << QStringLiteral("inactive");
        } else if (facts.away) {
            parts << QStringLiteral("away");
        }
        return parts.join(QStringLiteral(", "));
    }
    case UnreadRole:
        return facts.unread;
    case LevelRole:
        return static_cast<int>(facts.level);
    case GreyedRole:
        return facts.greyed;
    case AwayRole:
        return facts.away;
    case HeadRole:
        return !node->group.isEmpty();
    default:
        return {};
    }
}

} // namespace tellix
