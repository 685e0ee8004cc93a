#pragma once

#include <QMdiSubWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>

#include <functional>
#include <string>

class QMenu;

namespace tellix {

class WindowTreeModel;

// The windows grouped by connection, beside the document area: a row shows its window's
// name, activity, unread count and whether it is in use. A click or the keyboard activates
// a row's window, the middle button closes it, and its menu offers what suits the window.
class WindowTree final : public QTreeView {
public:
    struct Actions {
        // With `keyboard`, the window takes the keyboard; without, it stays in the tree.
        std::function<void(QMdiSubWindow*, bool keyboard)> activate;
        std::function<void(QMdiSubWindow*)> close;
        // A command line run as if typed in that window.
        std::function<void(QMdiSubWindow*, const std::string&)> run;
        // Edit the connection's saved network, named by its label; unset, the item is disabled.
        std::function<void(QString)> editNetwork;
        // Adds what else a connection's row offers (its bouncer's networks) to its menu.
        std::function<void(QMdiSubWindow*, QMenu*)> moreForConnection;
    };

    WindowTree(WindowTreeModel& model, Actions actions, QWidget* parent = nullptr);

    // Selects the active window's row and brings it into view; none leaves the selection.
    void Follow(QMdiSubWindow* active);
    // The menu of a row, as a right click opens it; the caller owns it.
    QMenu* MenuFor(const QModelIndex& index);
    WindowTreeModel& Model() const { return model_; }
    void SetEditNetwork(std::function<void(QString)> edit) { actions_.editNetwork = std::move(edit); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    class Delegate;

    WindowTreeModel& model_;
    Actions actions_;
    bool following_ = false; // the selection moves with the activation, not the other way
    // The current row moves under the mouse or the keys: a row going away moves it too, and
    // that activates nothing.
    bool clicked_ = false;
    bool keyed_ = false;
    QPersistentModelIndex middlePressed_;
    QPointer<QMdiSubWindow> followed_; // the active window, as last told
};

} // namespace tellix
