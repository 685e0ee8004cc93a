#pragma once

#include "platform/ChildView.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QHash>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QMdiSubWindow;

namespace tellix {

// The windows as a tree: one node per connection, whose row is its status window, with that
// connection's channel and query windows under it; windows of no connection at the top. In the
// order the windows came, or by name.
//
// A row knows its own position, so that a line raising a window's activity or its unread count
// changes that row alone, found by one lookup: thousands of windows cost a busy channel nothing.
class WindowTreeModel final : public QAbstractItemModel {
public:
    enum Role : int {
        UnreadRole = Qt::UserRole + 1, // int: messages since the user last looked
        LevelRole,                     // int: the window's Activity
        GreyedRole,                    // bool: out of use for now
        HeadRole,                      // bool: a connection's row
        AwayRole,                      // bool: a query whose partner is away
    };

    explicit WindowTreeModel(QObject* parent = nullptr);
    ~WindowTreeModel() override;
    WindowTreeModel(const WindowTreeModel&) = delete;
    WindowTreeModel& operator=(const WindowTreeModel&) = delete;

    // A window comes at the top level, named by its caption, and goes when it is destroyed.
    void Add(QMdiSubWindow* window);
    // Where the window belongs (see ChildView::SetGroup); texts decoded for display, the
    // label also as the bytes a command names it by.
    void SetGroup(QMdiSubWindow* window, const QString& group, const QString& label, const std::string& labelBytes,
                  bool head);
    void SetActivity(QMdiSubWindow* window, Activity level);
    void SetUnread(QMdiSubWindow* window, std::int32_t count);
    void SetGreyed(QMdiSubWindow* window, bool greyed);
    void SetAway(QMdiSubWindow* window, bool away);
    // The colour of a row whose partner is away: between the text's and that of a greyed row.
    static QColor AwayColour(const QPalette& palette);
    // The channel a channel window shows, as the server names it; empty for any other window.
    void SetChannel(QMdiSubWindow* window, const std::string& channel);
    // Alphabetical (true) or in the order the windows came.
    void SetSorted(bool sorted);
    bool Sorted() const { return sorted_; }
    // The colours and the bold face rows take, from the view that shows them.
    void SetLook(const QPalette& palette, const QFont& font);

    QModelIndex IndexOf(const QMdiSubWindow* window) const;
    // The window a row shows; null for a connection whose status window is gone.
    QMdiSubWindow* Window(const QModelIndex& index) const;
    // A channel window's channel; empty for others.
    std::string Channel(const QModelIndex& index) const;
    // A connection's label as bytes (a head's row); empty elsewhere.
    std::string GroupLabel(const QModelIndex& index) const;
    int Count() const { return static_cast<int>(windows_.size()); }

    // What a row says for a caption: its last part ("3 - irc.test (me) - #room" says "#room").
    static QString Label(const QString& caption);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // What a window's row shows; a head's facts move into its connection's node.
    struct Facts {
        QMdiSubWindow* window = nullptr;
        QString caption;
        QString label;
        std::uint64_t order = 0; // when the window came
        Activity level = Activity::None;
        std::int32_t unread = 0;
        bool greyed = false;
        bool away = false;
        std::string channel;
    };
    struct Node {
        Node* parent = nullptr;
        std::vector<std::unique_ptr<Node>> children;
        int row = 0;
        std::uint64_t order = 0;
        QString key;   // the label case-folded, for the alphabetical order
        QString group; // a connection's node: its group; empty for a window's own node
        QString groupLabel;
        std::string groupLabelBytes;
        Facts facts;
    };

    Node* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const Node* node) const;
    const QString& Shown(const Node& node) const;
    bool Before(const Node& a, const Node& b) const;
    Node* Insert(Node& parent, std::unique_ptr<Node> node);
    std::unique_ptr<Node> Take(Node& node);
    // Moves a node whose label changed to its place among its siblings.
    void Reposition(Node& node);
    void Changed(const Node& node);
    // Takes the window out of the tree, leaving its facts.
    Facts Detach(QMdiSubWindow* window);
    void DropIfEmpty(Node& group);
    void Remove(QMdiSubWindow* window);
    void Relabel(QMdiSubWindow* window, const QString& caption);
    void SortChildren(Node& node);

    Node root_;
    QHash<const QMdiSubWindow*, Node*> windows_; // a head maps to its connection's node
    QHash<QString, Node*> groups_;
    std::uint64_t next_ = 0;
    bool sorted_ = false;
    QPalette palette_;
    QFont bold_;
};

} // namespace tellix
